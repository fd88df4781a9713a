#include "KV/Pic/Pic_Linux.h"

#include <cstring>

template <class TPix>
void KV_Pic_Linux<TPix>::resize(int32_t w, int32_t h) {
  KV_Pic_Base<TPix>::resize(w, h);
  if (this->pixels)
    std::memset(static_cast<void*>(this->pixels), 0,
                sizeof(TPix) * static_cast<size_t>(this->width) * static_cast<size_t>(this->height));
}

template class KV_Pic_Linux<KV_Pix_A32>;
