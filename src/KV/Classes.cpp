// The class table: command words in search order, each with its class's option table.
#include "KV/KV.h"
#include "KV/Effect/Effect.h"
#include "KV/Effect/Soundpipe.h"

KV_class __KV[] = {
    {"KV_Object", KV_Object_options},
    {"KV_Soundpipe", KV_Soundpipe_options},
    {"KV_Buffer", KV_Buffer_options},
    {"KV_Effect", KV_Effect_options},
    {nullptr, nullptr},
};
