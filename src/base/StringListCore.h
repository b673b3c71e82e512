// TStringListCore: what the 8-bit TStringList and the UTF-16 TWideStringList share, for
// either string type: the items (a string and an object reference, not owned), index
// checks with the lists' error text, the sorted search, the rule Add follows for an
// equal string, both sorts, and name=value and line splitting. Each list keeps its own
// comparison, its choice of sort and search, and its notifications.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Object.h"

namespace base {

enum class TDuplicates { dupIgnore, dupAccept, dupError };

// Which of several equal strings a sorted search answers with.
enum class TEqualPick {
  First,    // the first of them: IndexOf agrees with an unsorted list
  FirstMet  // the first the halving meets, which may be any of them
};

template <class String>
class TStringListCore {
 public:
  struct Item {
    String S;
    TObject* Object;
  };

  int Count() const { return static_cast<int>(FItems.size()); }
  void CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
  }
  // Unchecked: callers check first.
  const Item& operator[](int index) const { return FItems[static_cast<size_t>(index)]; }
  Item& operator[](int index) { return FItems[static_cast<size_t>(index)]; }

  void Insert(int index, const String& s, TObject* object) { FItems.insert(FItems.begin() + index, Item{s, object}); }
  void Delete(int index) { FItems.erase(FItems.begin() + index); }
  void Clear() { FItems.clear(); }
  void Exchange(int index1, int index2) { std::swap((*this)[index1], (*this)[index2]); }
  size_t Capacity() const { return FItems.capacity(); }
  void Reserve(size_t capacity) { FItems.reserve(capacity); }

  // For a list sorted by compare (a three-way comparison of two strings): true and the
  // index of an equal string, else false and the place s would be inserted.
  template <class Compare>
  bool Search(const String& s, int& index, TEqualPick pick, Compare compare) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
      int mid = (lo + hi) / 2;
      int c = compare((*this)[mid].S, s);
      if (c < 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (c == 0) {
          found = true;
          if (pick == TEqualPick::FirstMet) lo = mid;
        }
      }
    }
    index = lo;
    return found;
  }

  // Where Add puts a string: on entry index is the end, and find(index) is the sorted
  // search, asked only when the list is sorted. False when an equal string already
  // there stands for it (dupIgnore; index names it); dupError raises.
  template <class Find>
  static bool PlaceForAdd(bool sorted, TDuplicates duplicates, int& index, Find find) {
    if (!sorted || !find(index)) return true;
    if (duplicates == TDuplicates::dupIgnore) return false;
    if (duplicates == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
    return true;
  }

  // Equal strings keep their order.
  template <class Compare>
  void StableSort(Compare compare) {
    std::stable_sort(FItems.begin(), FItems.end(), [&](const Item& a, const Item& b) { return compare(a.S, b.S) < 0; });
  }

  // compare(index1, index2) is a three-way comparison of two items. Equal strings end in
  // an order of the algorithm's making, which callers may see: keep it as it is.
  template <class Compare>
  void QuickSort(int lo, int hi, Compare compare) {
    while (lo < hi) {
      int i = lo, j = hi, p = (lo + hi) / 2;
      do {
        while (compare(i, p) < 0) ++i;
        while (compare(j, p) > 0) --j;
        if (i <= j) {
          if (i != j) Exchange(i, j);
          if (p == i)
            p = j;
          else if (p == j)
            p = i;
          ++i;
          --j;
        }
      } while (i <= j);
      // Recurse into the smaller half, loop over the larger: bounded stack depth.
      if (j - lo < hi - i) {
        if (lo < j) QuickSort(lo, j, compare);
        lo = i;
      } else {
        if (i < hi) QuickSort(i, hi, compare);
        hi = j;
      }
    }
  }

 private:
  std::vector<Item> FItems;
};

// name=value items: the name is the part before the first separator, the value the part
// after it; an item without the separator has neither.
template <class String>
String NameOfItem(const String& s, typename String::value_type separator) {
  size_t p = s.find(separator);
  return p == String::npos ? String() : s.substr(0, p);
}

template <class String>
String ValueOfItem(const String& s, typename String::value_type separator) {
  size_t p = s.find(separator);
  return p == String::npos ? String() : s.substr(p + 1);
}

// The first item of list (anything with Count() and Get(index)) whose name compares
// equal to name; -1 when none does.
template <class List, class String, class Compare>
int IndexOfItemName(const List& list, const String& name, typename String::value_type separator, Compare compare) {
  for (int i = 0; i < list.Count(); ++i) {
    const String& s = list.Get(i);
    size_t p = s.find(separator);
    if (p != String::npos && compare(s.substr(0, p), name) == 0) return i;
  }
  return -1;
}

// Calls add(line) for each line of text[0, end): lines end at CR LF, LF or CR; a last
// line without a break counts, an empty text has none.
template <class String, class Add>
void ForEachLine(const String& text, size_t end, Add add) {
  size_t i = 0;
  while (i < end) {
    size_t start = i;
    while (i < end && text[i] != '\r' && text[i] != '\n') ++i;
    add(text.substr(start, i - start));
    if (i < end && text[i] == '\r') ++i;
    if (i < end && text[i] == '\n') ++i;
  }
}

}  // namespace base
