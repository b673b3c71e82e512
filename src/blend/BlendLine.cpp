#include "blend/BlendLine.h"

#include <cstdlib>
#include <cstring>

#include "blend/BlendMMX.h"
#include "blend/BlendPlain.h"
#include "blend/CpuFeatures.h"

namespace blend {

namespace {

struct TBlendRoutines {
  void (*Over)(const uint32_t*, uint32_t*, int32_t);
  void (*OverMaster)(const uint32_t*, uint32_t*, int32_t, uint8_t);
  void (*Constant)(const uint32_t*, uint32_t*, int32_t, int32_t, uint8_t);
  bool MMX;
};

bool PlainForced() {
  const char* value = std::getenv("ORBELLE_BLEND_PLAIN");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

TBlendRoutines ChooseRoutines() {
#if BLEND_HAVE_MMX
  if (!PlainForced() && DetectMMX()) return {BlendLineOverMMX, BlendLineOverMasterMMX, BlendLineConstantMMX, true};
#endif
  return {BlendLineOverPlain, BlendLineOverMasterPlain, BlendLineConstantPlain, false};
}

// The dispatch table: filled on first use, which the definition below makes part of
// program start-up; read-only afterwards.
const TBlendRoutines& Routines() {
  static const TBlendRoutines routines = ChooseRoutines();
  return routines;
}

[[maybe_unused]] const TBlendRoutines& startUpChoice = Routines();

}  // namespace

void BlendLineOver(const uint32_t* source, uint32_t* dest, int32_t count) {
  if (count > 0) Routines().Over(source, dest, count);
}

void BlendLineOverMaster(const uint32_t* source, uint32_t* dest, int32_t count, uint8_t master) {
  if (count > 0) Routines().OverMaster(source, dest, count, master);
}

void BlendLineConstant(const uint32_t* source, uint32_t* dest, int32_t count, int32_t bias, uint8_t alpha) {
  if (count > 0) Routines().Constant(source, dest, count, bias, alpha);
}

bool BlendUsesMMX() { return Routines().MMX; }

}  // namespace blend
