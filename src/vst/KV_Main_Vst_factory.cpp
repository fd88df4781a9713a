// The one place the VST binding names the product it carries.
#include <new>

#include "app/KV_Application.h"
#include "vst/KV_Main_Vst.h"

KV_Apptpl* KV_Main_Vst::createProduct() { return new (std::nothrow) KV_Application; }
