#include "download/QZObjectList.h"

namespace download {

// Cleared here, while Notify still reaches this class's handler.
TQZObjectList::~TQZObjectList() { Clear(); }

void TQZObjectList::Notify(base::TObject* item, base::TListNotification action) {
  if (OnNotify) OnNotify(item, action);
  // TObjectList releases owned items on lnDeleted, then runs the plain list's notice.
  TObjectList::Notify(item, action);
}

}  // namespace download
