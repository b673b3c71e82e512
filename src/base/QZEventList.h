// TQZEventList: a list of event handlers (code and context each), called by its owner in
// index order with the owner's own arguments. Main thread only.
#pragma once

#include <vector>

#include "base/Exceptions.h"
#include "base/Object.h"

namespace base {

template <class... Args>
class TQZEventList {
 public:
  using THandler = base::TClosure<Args...>;

  int Count() const { return static_cast<int>(FItems.size()); }
  THandler Get(int index) const {
    if (index < 0 || index >= Count()) base::RaiseListIndexError(index);
    return FItems[static_cast<size_t>(index)];
  }
  // Appends at the end, so handlers run in the order they were added.
  void Add(THandler h) { FItems.push_back(h); }
  // Removes the first entry with the same code and context; true when one was found.
  bool Remove(THandler h) {
    for (auto it = FItems.begin(); it != FItems.end(); ++it)
      if (*it == h) {
        FItems.erase(it);
        return true;
      }
    return false;
  }
  void Clear() { FItems.clear(); }
  // Calls every handler in index order. A handler may remove itself while called.
  void Call(Args... args) const {
    std::vector<THandler> snapshot = FItems;
    for (const THandler& h : snapshot) h(args...);
  }

 private:
  std::vector<THandler> FItems;
};

}  // namespace base
