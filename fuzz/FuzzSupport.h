#pragma once
// Small pieces the fuzz targets share: reading structured values off the input
// and a private folder for targets whose parser wants a file.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace fuzz {

// Takes values off the front of the input; past the end everything is zero.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t Left() const { return size_ - pos_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // Copies up to n bytes into out; the rest of out is left as it is.
  std::size_t Copy(void* out, std::size_t n) {
    const std::size_t k = n < Left() ? n : Left();
    if (k != 0) std::memcpy(out, data_ + pos_, k);
    pos_ += k;
    return k;
  }
  // A text whose length (up to max) comes from the input.
  std::string Text(std::size_t max) {
    const std::size_t want = max == 0 ? 0 : Byte() % (max + 1);
    const std::size_t k = want < Left() ? want : Left();
    std::string out(reinterpret_cast<const char*>(data_ + pos_), k);
    pos_ += k;
    return out;
  }
  std::string_view Rest() {
    std::string_view out(reinterpret_cast<const char*>(data_ + pos_), Left());
    pos_ = size_;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// A folder of this process's own, removed when the run ends normally.
inline const std::string& TempDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/kestrune-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    return std::string(pattern);
  }();
  static const bool cleanup = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    });
    return true;
  }();
  (void)cleanup;
  return dir;
}

inline std::string WriteTempFile(const std::string& name, std::string_view bytes) {
  const std::string path = TempDir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
  return path;
}

}  // namespace fuzz
