#include "platform/linux/LinuxAutostart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/Strings.h"

namespace kestrune::platform {

namespace fs = std::filesystem;

namespace autostart {

fs::path DefaultFolder() {
  // Relative values are to be ignored, as the base-directory rules say.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return fs::path(config) / "autostart";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return fs::path(home) / ".config" / "autostart";
  return {};
}

std::string QuoteExecArgument(const std::string& argument) {
  static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  bool quote = argument.empty();
  for (const char c : argument)
    if (kReserved.find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20) quote = true;
  std::string out;
  if (quote) out += '"';
  for (const char c : argument) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
    if (c == '%') out += '%';  // a lone % would start a field code
  }
  if (quote) out += '"';
  return out;
}

std::string EscapeValue(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case ' ':
        out += i == 0 ? "\\s" : " ";  // a leading blank would be trimmed away
        break;
      default: out += c;
    }
  }
  return out;
}

std::string UnescapeValue(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char n = text[++i];
    switch (n) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default:  // not a string escape: leave it for the Exec quoting
        out += '\\';
        out += n;
    }
  }
  return out;
}

std::optional<std::vector<std::string>> SplitExec(const std::string& exec) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (c == ' ' || c == '\t') {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
      continue;
    }
    inArgument = true;
    if (c == '"') {
      bool closed = false;
      for (++i; i < exec.size(); ++i) {
        const char q = exec[i];
        if (q == '"') {
          closed = true;
          break;
        }
        if (q == '\\' && i + 1 < exec.size() && std::strchr("\"`$\\", exec[i + 1]) != nullptr) {
          current += exec[++i];
          continue;
        }
        if (q == '%' && i + 1 < exec.size() && exec[i + 1] == '%') ++i;
        current += q;
      }
      if (!closed) return std::nullopt;
      continue;
    }
    if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') ++i;
    current += c;
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

}  // namespace autostart

namespace {

constexpr const char* kSuffix = ".desktop";
constexpr std::uintmax_t kMaxEntrySize = 1u << 20;

// Names become file names: no separators, nothing hidden (our temporary files
// start with a dot), nothing the registry would not hold either.
bool ValidName(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  for (const char c : name)
    if (c == '/' || c == '\0' || c == '\n' || c == '\r') return false;
  return true;
}

bool IsEntryFile(const fs::directory_entry& e, std::string& stem) {
  std::error_code ec;
  if (!e.is_regular_file(ec)) return false;
  const std::string file = e.path().filename().string();
  const std::size_t suffix = std::strlen(kSuffix);
  if (file.size() <= suffix || file[0] == '.' || file.compare(file.size() - suffix, suffix, kSuffix) != 0)
    return false;
  stem = file.substr(0, file.size() - suffix);
  return true;
}

struct Entry {
  bool hidden = false;
  std::optional<std::string> exec;
};

Entry ParseEntry(const std::string& text) {
  Entry entry;
  std::istringstream in(text);
  std::string line;
  bool inMain = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = kestrune::Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    if (trimmed[0] == '[') {
      inMain = trimmed == "[Desktop Entry]";
      continue;
    }
    if (!inMain) continue;
    const auto eq = trimmed.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = kestrune::Trim(trimmed.substr(0, eq));
    const std::string value = kestrune::Trim(trimmed.substr(eq + 1));
    if (key == "Exec" && !entry.exec) entry.exec = autostart::UnescapeValue(value);
    if (key == "Hidden") entry.hidden = value == "true";
  }
  return entry;
}

class AutostartKey final : public RegistryKey {
 public:
  explicit AutostartKey(fs::path folder) : folder_(std::move(folder)) {}

  Query QueryValue(const std::string& name, RegistryValue& out) const override {
    const auto file = Find(name);
    if (!file) return Query::Missing;
    std::error_code ec;
    const auto size = fs::file_size(*file, ec);
    if (ec || size > kMaxEntrySize) return Query::Failed;
    std::ifstream in(*file, std::ios::binary);
    if (!in) return Query::Failed;
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    const Entry entry = ParseEntry(text);
    if (entry.hidden) return Query::Missing;  // a hidden entry is a deleted one
    // Our entries hold one argument, the data as given; any other Exec line
    // reads as the command line it is.
    std::string data;
    if (entry.exec) {
      const auto args = autostart::SplitExec(*entry.exec);
      data = args && args->size() == 1 ? args->front() : *entry.exec;
    }
    out = RegistryValue::String(std::move(data));
    return Query::Found;
  }

  bool SetValue(const std::string& name, const RegistryValue& value) override {
    if (!ValidName(name)) return false;
    if (value.type != RegistryDataType::String && value.type != RegistryDataType::ExpandString) return false;
    if (value.text.find('\0') != std::string::npos) return false;
    const fs::path target = Find(name).value_or(folder_ / (name + kSuffix));
    std::error_code ec;
    const auto status = fs::symlink_status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status)) return false;

    std::string text = "[Desktop Entry]\nType=Application\nName=" + autostart::EscapeValue(name) +
                       "\nExec=" + autostart::EscapeValue(autostart::QuoteExecArgument(value.text)) +
                       "\nTerminal=false\n";
    return WriteAtomically(target, text);
  }

  bool RemoveValue(const std::string& name) override {
    const auto file = Find(name);
    if (!file) return false;
    std::error_code ec;
    return fs::remove(*file, ec) && !ec;
  }

  std::vector<std::string> SubKeyNames() const override { return {}; }

  std::vector<std::string> ValueNames() const override {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
      std::string stem;
      RegistryValue ignored;
      if (IsEntryFile(*it, stem) && QueryValue(stem, ignored) == Query::Found) names.push_back(stem);
    }
    return names;
  }

 private:
  // Value names ignore case, file names do not: an exact match first, then any
  // entry whose name differs only in case.
  std::optional<fs::path> Find(const std::string& name) const {
    if (!ValidName(name)) return std::nullopt;
    std::error_code ec;
    const fs::path exact = folder_ / (name + kSuffix);
    if (fs::is_regular_file(exact, ec)) return exact;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
      std::string stem;
      if (IsEntryFile(*it, stem) && SameRegistryName(stem, name)) return it->path();
    }
    return std::nullopt;
  }

  bool WriteAtomically(const fs::path& target, const std::string& text) {
    std::string pattern = (folder_ / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fchmod(fd, 0644) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ok = false;
      else done += static_cast<std::size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(pattern.c_str(), target.c_str()) == 0;
    if (!ok) unlink(pattern.c_str());
    return ok;
  }

  fs::path folder_;
};

}  // namespace

LinuxAutostartRegistry::LinuxAutostartRegistry(fs::path folder) : folder_(std::move(folder)) {}

std::unique_ptr<RegistryKey> LinuxAutostartRegistry::OpenKey(RegistryRoot root, const std::string& path,
                                                             RegistryAccess access, bool create) {
  if (root != HKEY_LOCAL_MACHINE) return nullptr;
  const auto parts = SplitRegistryPath(path);
  const auto run = SplitRegistryPath(kRunKey);
  if (parts.size() != run.size()) return nullptr;
  for (std::size_t i = 0; i < run.size(); ++i)
    if (!SameRegistryName(parts[i], run[i])) return nullptr;

  const fs::path folder = folder_.empty() ? autostart::DefaultFolder() : folder_;
  if (folder.empty()) return nullptr;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    if (!create || access != RegistryAccess::Full) return nullptr;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) return nullptr;
  }
  if (access == RegistryAccess::Full && ::access(folder.c_str(), W_OK | X_OK) != 0) return nullptr;
  return std::make_unique<AutostartKey>(folder);
}

}  // namespace kestrune::platform
