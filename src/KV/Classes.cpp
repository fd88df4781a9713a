// The class table: command words in search order, each with its class's option table.
#include "KV/KV.h"
#include "KV/Effect/Arith.h"
#include "KV/Effect/Deline.h"
#include "KV/Effect/Dist.h"
#include "KV/Effect/Effect.h"
#include "KV/Effect/Filter.h"
#include "KV/Effect/Fourier.h"
#include "KV/Effect/Freqmul.h"
#include "KV/Effect/Noisegate.h"
#include "KV/Effect/Shift.h"
#include "KV/Effect/Soundpipe.h"
#include "KV/Wid/Butt.h"
#include "KV/Wid/Knob.h"
#include "KV/Wid/Pic.h"
#include "KV/Wid/Wid.h"

KV_class __KV[] = {
    {"KV_Object", KV_Object_options},
    {"KV_Soundpipe", KV_Soundpipe_options},
    {"KV_Buffer", KV_Buffer_options},
    {"KV_Effect", KV_Effect_options},
    {"KV_Effect_Zero", KV_Effect_Zero_options},
    {"KV_Effect_Hipass", KV_Effect_Hipass_options},
    {"KV_Effect_Lopass", KV_Effect_Lopass_options},
    {"KV_Effect_Freqmul", KV_Effect_Freqmul_options},
    {"KV_Effect_Tolvar", KV_Effect_Tolvar_options},
    {"KV_Effect_Gtzero", KV_Effect_Gtzero_options},
    {"KV_Effect_Ltzero", KV_Effect_Ltzero_options},
    {"KV_Effect_Bapass", KV_Effect_Bapass_options},
    {"KV_Effect_Ampdet", KV_Effect_Ampdet_options},
    {"KV_Effect_Copy", KV_Effect_Copy_options},
    {"KV_Effect_Oper", KV_Effect_Oper_options},
    {"KV_Effect_Koef", KV_Effect_Koef_options},
    {"KV_Effect_Dist", KV_Effect_Dist_options},
    {"KV_Effect_Deline", KV_Effect_Deline_options},
    {"KV_Effect_Oversam", KV_Effect_Oversam_options},
    {"KV_Effect_Shift", KV_Effect_Shift_options},
    {"KV_Effect_Nshift", KV_Effect_Nshift_options},
    {"KV_Fourier_Transform", KV_Fourier_Transform_options},
    {"KV_Fourier_Noisegate", KV_Fourier_Noisegate_options},
    {"KV_Wid", KV_Wid_options},
    {"KV_Wid_Pic", KV_Wid_Pic_options},
    {"KV_Wid_Butt", KV_Wid_Butt_options},
    {"KV_Wid_Knob", KV_Wid_Knob_options},
    {nullptr, nullptr},
};
