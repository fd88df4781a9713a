#include "app/KV_Apptpl.h"

KV_Apptpl::KV_Apptpl() = default;
