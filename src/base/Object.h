// The root of the component library's object hierarchy and its event type.
// TObject gives every library object a virtual destructor so lists and queues that hold
// "object references" can release what they own. TClosure is the library's event: a
// plain function plus a context pointer; the context doubles as the owner key when
// pending work is cancelled by owner.
#pragma once

namespace base {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

template <class... Args>
struct TClosure {
  using TCode = void (*)(void* context, Args...);
  TCode Code = nullptr;
  void* Context = nullptr;

  explicit operator bool() const { return Code != nullptr; }
  void operator()(Args... args) const { Code(Context, args...); }
  bool operator==(const TClosure& o) const { return Code == o.Code && Context == o.Context; }
};

// Binds a member function to an object: Method<&TSplash::HandleDone>(this).
template <auto Member, class C, class R, class... Args>
TClosure<Args...> MethodImpl(C* object, R (C::*)(Args...)) {
  return {[](void* ctx, Args... args) { (static_cast<C*>(ctx)->*Member)(args...); }, object};
}
template <auto Member, class C>
auto Method(C* object) {
  return MethodImpl<Member>(object, Member);
}

using TNotifyEvent = TClosure<TObject*>;
using TThreadMethod = TClosure<>;

}  // namespace base
