// TXMLInterfacedObject: the IInterface part that every reference-counted object of the XML
// model shares. The count starts at 0 (the first TIntf makes it 1); AddRef and Release
// return the count after the change, and Release deletes the object when it reaches 0.
// QueryInterface answers the IID of each interface the class names with the object's
// part for it and counts a reference; any other IID gets E_XML_NOINTERFACE and a null
// pointer. A class that adds interfaces to its base's answers them with QueryInterfaceOf.
#pragma once

#include <cstdint>

#include "xml/XMLIntf.h"

namespace xml {

// Answers iid with self's part for the one of Intfs whose IID it is, counting a
// reference; false (object untouched) when it is none of them. (With no Intfs the
// arguments go unread.)
template <class... Intfs, class T>
bool AnswerInterface(T* self, [[maybe_unused]] const TGUID& iid, [[maybe_unused]] void** object) {
  bool found = ((iid == Intfs::IID && (*object = static_cast<Intfs*>(self), true)) || ...);
  if (found) self->AddRef();
  return found;
}

// The QueryInterface of a class that answers Intfs itself and leaves every other IID to
// its base class Base.
template <class Base, class... Intfs, class T>
int32_t QueryInterfaceOf(T* self, const TGUID& iid, void** object) {
  return AnswerInterface<Intfs...>(self, iid, object) ? S_XML_OK : self->Base::QueryInterface(iid, object);
}

// Intfs: the interfaces QueryInterface answers (each with an IID); a class may implement
// more (IXMLEnumerator, which callers never ask for) by deriving from them itself.
template <class... Intfs>
class TXMLInterfacedObject : public virtual IInterface, public virtual Intfs... {
 public:
  TXMLInterfacedObject(const TXMLInterfacedObject&) = delete;
  TXMLInterfacedObject& operator=(const TXMLInterfacedObject&) = delete;

  int32_t QueryInterface(const TGUID& iid, void** object) override {
    if (AnswerInterface<Intfs...>(this, iid, object)) return S_XML_OK;
    *object = nullptr;
    return E_XML_NOINTERFACE;
  }
  int32_t AddRef() override { return ++FRefCount; }
  int32_t Release() override {
    int32_t n = --FRefCount;
    if (n == 0) delete this;
    return n;
  }

 protected:
  TXMLInterfacedObject() = default;
  virtual ~TXMLInterfacedObject() = default;

  int32_t FRefCount = 0;
};

}  // namespace xml
