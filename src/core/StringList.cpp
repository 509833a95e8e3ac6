#include "core/StringList.h"

namespace kestrune {

int TStringList::AddObject(std::string text, std::unique_ptr<TObject> object) {
  entries_.push_back(Entry{std::move(text), std::move(object)});
  return Count() - 1;
}

int TStringList::IndexOf(std::string_view text) const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].text == text) return static_cast<int>(i);
  return -1;
}

void TStringList::SetText(std::string_view text) {
  entries_.clear();
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      entries_.push_back(Entry{std::string(text.substr(start, i - start)), nullptr});
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) entries_.push_back(Entry{std::string(text.substr(start)), nullptr});
}

std::string TStringList::Text() const {
  std::string out;
  for (const auto& e : entries_) {
    out += e.text;
    out += "\r\n";
  }
  return out;
}

void TStringList::AssignTexts(const TStringList& other) {
  entries_.clear();
  for (const auto& e : other.entries_) entries_.push_back(Entry{e.text, nullptr});
}

void FreeListObjects(TStringList* list) {
  if (list == nullptr) return;
  for (auto& e : list->Entries()) e.object.reset();
}

}  // namespace kestrune
