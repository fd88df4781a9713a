// The one place the LV2 binding names the product it carries.
#include <new>

#include "app/KV_Application.h"
#include "lv2/KV_Main_Lv2.h"

KV_Apptpl* KV_Lv2::createProduct() { return new (std::nothrow) KV_Application; }
