// The class table: command words in search order, each with its class's option table.
#include "KV/KV.h"

KV_class __KV[] = {
    {"KV_Object", KV_Object_options},
    {nullptr, nullptr},
};
