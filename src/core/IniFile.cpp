#include "core/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "core/Strings.h"

namespace kestrune {

namespace {
constexpr std::size_t npos = std::string::npos;

std::string_view TrimView(std::string_view s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

bool IsBlank(std::string_view s) { return TrimView(s).empty(); }

}  // namespace

TIniText::TIniText(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t brk = text.find_first_of("\r\n", pos);
    if (brk == npos) {
      lines_.push_back(Classify(std::string(text.substr(pos)), {}));
      break;
    }
    std::size_t next = brk + 1;
    if (text[brk] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines_.push_back(Classify(std::string(text.substr(pos, brk - pos)),
                              std::string(text.substr(brk, next - brk))));
    pos = next;
  }
}

TIniText::Line TIniText::Classify(std::string raw, std::string eol) {
  Line line;
  const std::string_view t = TrimView(raw);
  if (!t.empty() && t.front() == ';') {
    line.kind = Kind::Other;
  } else if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
    line.kind = Kind::Section;
    line.name = std::string(TrimView(t.substr(1, t.size() - 2)));
  } else if (const auto eq = t.find('='); eq != npos) {
    line.kind = Kind::Entry;
    line.name = std::string(TrimView(t.substr(0, eq)));
  }
  line.raw = std::move(raw);
  line.eol = std::move(eol);
  return line;
}

std::size_t TIniText::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Kind::Section && SameText(lines_[i].name, section)) return i;
  return npos;
}

std::size_t TIniText::SectionEnd(std::size_t sectionIndex) const {
  std::size_t i = sectionIndex + 1;
  while (i < lines_.size() && lines_[i].kind != Kind::Section) ++i;
  return i;
}

std::size_t TIniText::FindEntry(std::size_t sectionIndex, std::string_view key) const {
  const std::size_t end = SectionEnd(sectionIndex);
  for (std::size_t i = sectionIndex + 1; i < end; ++i)
    if (lines_[i].kind == Kind::Entry && SameText(lines_[i].name, key)) return i;
  return npos;
}

bool TIniText::HasSection(std::string_view section) const { return FindSection(section) != npos; }

std::optional<std::string> TIniText::ReadValue(std::string_view section, std::string_view key) const {
  const std::size_t s = FindSection(section);
  if (s == npos) return std::nullopt;
  const std::size_t k = FindEntry(s, key);
  if (k == npos) return std::nullopt;
  const std::string& raw = lines_[k].raw;
  std::string_view value = TrimView(std::string_view(raw).substr(raw.find('=') + 1));
  // The profile functions hand out C strings.
  if (const auto nul = value.find('\0'); nul != npos) value = TrimView(value.substr(0, nul));
  return std::string(value);
}

std::string TIniText::ReadString(std::string_view section, std::string_view key,
                                 const std::string& defaultValue) const {
  auto v = ReadValue(section, key);
  return v ? std::move(*v) : defaultValue;
}

std::string TIniText::NewLineBreak() const {
  for (const auto& l : lines_)
    if (!l.eol.empty()) return l.eol;
  return "\r\n";
}

void TIniText::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::string entry;
  entry.reserve(key.size() + 1 + value.size());
  entry.append(key).push_back('=');
  for (const char c : value) entry.push_back(c == '\r' || c == '\n' ? ' ' : c);

  // New lines take the break of the line they follow: in a file of mixed breaks
  // another one could fuse with the next break ("\r" then "\n") and swallow a line.
  std::string eol = NewLineBreak();
  std::size_t s = FindSection(section);
  if (s != npos) {
    if (const std::size_t k = FindEntry(s, key); k != npos) {
      lines_[k] = Classify(std::move(entry), lines_[k].eol);
      return;
    }
    // After the section's last non-blank line, so blank separators stay in front of the next section.
    std::size_t at = SectionEnd(s);
    while (at > s + 1 && IsBlank(lines_[at - 1].raw)) --at;
    if (lines_[at - 1].eol.empty()) lines_[at - 1].eol = eol;
    eol = lines_[at - 1].eol;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Classify(std::move(entry), eol));
    return;
  }
  if (!lines_.empty()) {
    if (lines_.back().eol.empty()) lines_.back().eol = eol;
    eol = lines_.back().eol;
    if (!IsBlank(lines_.back().raw)) lines_.push_back(Classify({}, eol));
  }
  lines_.push_back(Classify("[" + std::string(section) + "]", eol));
  lines_.push_back(Classify(std::move(entry), eol));
}

std::string TIniText::Text() const {
  std::size_t size = 0;
  for (const auto& l : lines_) size += l.raw.size() + l.eol.size();
  std::string out;
  out.reserve(size);
  for (const auto& l : lines_) out.append(l.raw).append(l.eol);
  return out;
}

std::string ReadProfileString(const TIniText& ini, std::string_view section, std::string_view key,
                              const std::string& defaultValue) {
  std::string v = ini.ReadString(section, key, defaultValue);
  if (v.size() > kProfileStringMax) v.resize(kProfileStringMax);
  return v;
}

std::optional<std::int32_t> ParseProfileInteger(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  std::int64_t result;
  if (hex) {
    // Eight hexadecimal digits cover the whole 32-bit pattern, sign bit included.
    result = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  } else {
    if (value > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
    result = static_cast<std::int64_t>(value);
  }
  if (negative) result = -result;
  return static_cast<std::int32_t>(result);
}

bool ReadProfileBool(const TIniText& ini, std::string_view section, std::string_view key,
                     bool defaultValue) {
  const auto v = ini.ReadValue(section, key);
  if (!v) return defaultValue;
  std::string_view s = *v;
  if (s.size() > kProfileStringMax) s = s.substr(0, kProfileStringMax);
  const auto n = ParseProfileInteger(s);
  return n ? *n != 0 : defaultValue;
}

FileReadStatus ReadWholeFile(const std::string& path, std::string& contents, int* error) {
  contents.clear();
  auto failed = [&](int err) {
    if (error) *error = err;
    contents.clear();
    return err == ENOENT ? FileReadStatus::Missing : FileReadStatus::Failed;
  };
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return failed(errno);
  if (S_ISDIR(st.st_mode)) return failed(EISDIR);
  std::ifstream in(path, std::ios::binary);
  if (!in) return failed(errno != 0 ? errno : EACCES);
  contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return failed(EIO);
  if (error) *error = 0;
  return FileReadStatus::Ok;
}

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

std::string ResolveLink(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) != nullptr) return buf;
  }
  return path;
}

}  // namespace

void ReplaceFileAtomically(const std::string& path, std::string_view data) {
  const std::string target = ResolveLink(path);
  // A rename would slip past a file the user made read-only; honour it as a write would.
  if (access(target.c_str(), F_OK) == 0 && access(target.c_str(), W_OK) != 0) ThrowErrno("write " + target);
  // O_EXCL on a name of our own: the umask applies to a new file, as for any other.
  std::string tmp;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    tmp = target + ".tmp" + std::to_string(getpid()) + "." + std::to_string(attempt);
    fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) ThrowErrno("create " + tmp);
  }
  auto fail = [&](const std::string& what) {
    const int err = errno;
    close(fd);
    unlink(tmp.c_str());
    errno = err;
    ThrowErrno(what);
  };

  // Keep the permissions of the file being replaced.
  struct stat st {};
  if (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && fchmod(fd, st.st_mode & 07777) != 0)
    fail("chmod " + tmp);

  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("write " + tmp);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0) fail("sync " + tmp);
  if (close(fd) != 0) {
    const int err = errno;
    unlink(tmp.c_str());
    errno = err;
    ThrowErrno("close " + tmp);
  }
  if (rename(tmp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    unlink(tmp.c_str());
    errno = err;
    ThrowErrno("rename " + tmp);
  }
  // Make the rename itself durable; a failure here leaves a complete file either way.
  const auto slash = target.find_last_of('/');
  const std::string dir = slash == npos ? "." : target.substr(0, slash + 1);
  const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
}

}  // namespace kestrune
