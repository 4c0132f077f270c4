// Pictures of what GL drew. The frame is read from the buffer GL draws
// into, before any swap: after one, the front buffer of a window under Xvfb
// or Wine reads back black. The PNG encoder is stb_image_write's.
#include "app/picture.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "platform/gl.h"
#include "view/render.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO  // the file is written here, beside its place first
#include <stb_image_write.h>

namespace {

using Pixels = std::vector<uint8_t>;  // RGB rows, the lowest first, as GL gives them

Pixels ReadFrame(int width, int height) {
  GLint drawn = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawn);
  glReadBuffer(static_cast<GLenum>(drawn));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  Pixels pixels(static_cast<size_t>(width) * height * 3);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

// An old pixel under a new one, and the part of the new pixel it fills.
struct Cover {
  int pixel;
  double part;
};

// For each of `to` pixels across a line of `from` pixels, the old pixels
// under it.
std::vector<std::vector<Cover>> Covers(int from, int to) {
  const double scale = static_cast<double>(from) / to;
  std::vector<std::vector<Cover>> covers(to);
  for (int i = 0; i < to; ++i) {
    const double start = i * scale, end = (i + 1) * scale;
    for (int j = static_cast<int>(start); j < from && j < end; ++j) {
      const double part = std::min(end, j + 1.0) - std::max(start, static_cast<double>(j));
      if (part > 0) covers[i].push_back({j, part / scale});
    }
  }
  return covers;
}

// Area averaging: each new pixel is the mean of the old ones under it, each
// weighted by how much of the new pixel it fills.
Pixels Shrink(const Pixels& from, int width, int height, int newWidth, int newHeight) {
  const auto across = Covers(width, newWidth);
  const auto up = Covers(height, newHeight);
  Pixels to(static_cast<size_t>(newWidth) * newHeight * 3);
  uint8_t* out = to.data();
  for (int y = 0; y < newHeight; ++y) {
    for (int x = 0; x < newWidth; ++x) {
      double sum[3] = {};
      for (const Cover& row : up[y]) {
        for (const Cover& column : across[x]) {
          const uint8_t* old = &from[(static_cast<size_t>(row.pixel) * width + column.pixel) * 3];
          for (int c = 0; c < 3; ++c) sum[c] += row.part * column.part * old[c];
        }
      }
      for (double value : sum) {
        *out++ = static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
      }
    }
  }
  return to;
}

int Fail(const char* path, const char* why) {
  const std::string message = std::string("Error writing the picture ") + path + " (" + why + ").";
  MessageBoxA(nullptr, message.c_str(), nullptr, MB_OK);
  return 1;
}

struct Output {
  FILE* file;
  int error;  // errno of the first write that failed
};

void Write(void* context, void* data, int size) {
  auto* output = static_cast<Output*>(context);
  if (output->error == 0 &&
      fwrite(data, 1, static_cast<size_t>(size), output->file) != static_cast<size_t>(size)) {
    output->error = errno != 0 ? errno : EIO;
  }
}

int WritePng(const char* path, const Pixels& pixels, int width, int height) {
  const std::string part = std::string(path) + ".part";
  Output output{fopen(part.c_str(), "wb"), 0};
  if (output.file == nullptr) return Fail(path, strerror(errno));
  stbi_flip_vertically_on_write(1);  // GL's rows go up the picture, a PNG's down
  const char* why = nullptr;
  if (stbi_write_png_to_func(Write, &output, width, height, 3, pixels.data(), width * 3) == 0) {
    why = "out of memory";
  } else if (output.error != 0) {
    why = strerror(output.error);
  }
  if (fclose(output.file) != 0 && why == nullptr) why = strerror(errno);
  if (why == nullptr && !MoveFileExA(part.c_str(), path, MOVEFILE_REPLACE_EXISTING)) {
    why = "cannot replace it";
  }
  if (why == nullptr) return 0;
  remove(part.c_str());
  return Fail(path, why);
}

}  // namespace

int SavePicture(const char* path, int width, int height, int size) {
  try {
    Pixels pixels = ReadFrame(width, height);
    if (size > 0 && std::max(width, height) > size) {
      const double scale = static_cast<double>(size) / std::max(width, height);
      const int newWidth = std::max(1, static_cast<int>(std::lround(width * scale)));
      const int newHeight = std::max(1, static_cast<int>(std::lround(height * scale)));
      pixels = Shrink(pixels, width, height, newWidth, newHeight);
      width = newWidth;
      height = newHeight;
    }
    return WritePng(path, pixels, width, height);
  } catch (const std::bad_alloc&) {
    return Fail(path, "out of memory");
  }
}

void SaveScreenshot(HWND window) {
  RECT client;
  if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return;
  char name[sizeof "mivo0000.png"];
  for (int number = 0; number <= 9999; ++number) {
    snprintf(name, sizeof name, "mivo%04d.png", number);
    // A name that cannot be checked is taken as free: its write says why.
    std::error_code error;
    if (std::filesystem::exists(name, error)) continue;
    DrawLevel();
    SavePicture(name, client.right, client.bottom, 0);
    return;
  }
  MessageBoxA(nullptr,
              "Error: no free name for the picture (mivo0000.png to mivo9999.png are taken).",
              nullptr, MB_OK);
}
