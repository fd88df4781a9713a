#include "KV/Wid/Pic.h"

void KV_Wid_Pic::paint(KV_Pic_Base<KV_Pix_A32>& target, int32_t x, int32_t y, const KV_Rect& src) {
  picture.blend(target, x, y, src);
}

bool KV_Wid_Pic::usePicture(const void* data, size_t size) {
  if (!picture.map(data, size)) return false;
  if (width == 0) width = picture.width;
  if (height == 0) height = picture.height;
  return true;
}

void KV_Wid_Pic::useResource(const char* name, const void* data, size_t size) {
  resourceName = name;
  if (data) usePicture(data, size);
}

namespace {
KV_Object* createPic() { return new KV_Wid_Pic; }
}  // namespace

const KV_option KV_Wid_Pic_options[] = {
    KV_opt_creator(createPic),
    KV_opt("res", KV_Wid_resOption<KV_Wid_Pic>),
    KV_opt_end(KV_Wid_options),
};
