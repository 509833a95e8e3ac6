#pragma once
// An ordered list of text entries, each optionally owning an object: unsorted,
// duplicates allowed. Owners call FreeListObjects before emptying a list of records.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

class TObject {
 public:
  virtual ~TObject() = default;
};

class TStringList {
 public:
  struct Entry {
    std::string text;
    std::unique_ptr<TObject> object;
  };

  int Count() const { return static_cast<int>(entries_.size()); }
  bool Empty() const { return entries_.empty(); }
  const std::string& operator[](int i) const { return entries_.at(static_cast<std::size_t>(i)).text; }
  const std::string& Strings(int i) const { return (*this)[i]; }
  TObject* Objects(int i) const { return entries_.at(static_cast<std::size_t>(i)).object.get(); }
  template <typename T>
  T* ObjectAs(int i) const { return dynamic_cast<T*>(Objects(i)); }

  int Add(std::string text) { return AddObject(std::move(text), nullptr); }
  int AddObject(std::string text, std::unique_ptr<TObject> object);
  void Clear() { entries_.clear(); }
  int IndexOf(std::string_view text) const;

  // Splits at CR, LF or CR LF; an empty text gives an empty list.
  void SetText(std::string_view text);
  // Lines joined by CR LF, each followed by one (like the platform's Text).
  std::string Text() const;

  // Copies texts only; objects stay with their owner.
  void AssignTexts(const TStringList& other);

  std::vector<Entry>& Entries() { return entries_; }
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

// Frees the object of every entry that has one and empties its slot; texts and
// count stay. A null list does nothing.
void FreeListObjects(TStringList* list);

}  // namespace kestrune
