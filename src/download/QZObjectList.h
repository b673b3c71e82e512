// TQZObjectList: an object list that reports every change to its owner through
// OnNotify (owner context, item, action) before an owning list releases a deleted item.
// Main thread only.
#pragma once

#include "base/List.h"

namespace download {

using TQZListNotifyEvent = base::TClosure<base::TObject* /*item*/, base::TListNotification>;

class TQZObjectList : public base::TObjectList {
 public:
  explicit TQZObjectList(bool ownsObjects = true) : TObjectList(ownsObjects) {}
  ~TQZObjectList() override;
  TQZListNotifyEvent OnNotify;

 protected:
  void Notify(base::TObject* item, base::TListNotification action) override;
};

}  // namespace download
