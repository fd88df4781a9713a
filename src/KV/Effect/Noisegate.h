// A spectral noise reducer: measures the source's spectrum bin by bin, learns a noise profile
// on request, turns it into a gain per bin by spectral subtraction, and filters a signal
// spectrum given by the caller with the previous block's and with this block's filter.
#pragma once

#include <cstdint>

#include "KV/Effect/Effect.h"

struct KV_Fourier_Transform;
struct KV_Effect_Deline;

struct KV_Fourier_Noisegate : KV_Effect {
  KV_Buffer* input = nullptr;    // signal spectrum, 2N samples
  KV_Buffer* delayed = nullptr;  // owned: the source delayed by 512 samples
  KV_Buffer* source = nullptr;
  KV_Buffer* profile = nullptr;  // owned: one value per bin 0 ... N/2
  KV_Buffer* gain = nullptr;     // owned: N real, symmetric gains
  KV_Buffer* output1 = nullptr;  // owned once given or created
  KV_Buffer* output2 = nullptr;
  KV_Fourier_Transform* analysis = nullptr;
  KV_Fourier_Transform* delayedTransform = nullptr;
  KV_Fourier_Transform* gainTransform = nullptr;
  KV_Fourier_Transform* nearFilter = nullptr;
  KV_Fourier_Transform* farFilter = nullptr;
  KV_Effect_Deline* delay = nullptr;
  KV_Shared<bool> learn{false};
  bool made1 = false, made2 = false;  // the output was created here, on a query

  // The internal objects join no pipe: only the noise gate runs them.
  KV_Fourier_Noisegate();
  ~KV_Fourier_Noisegate() override;

  void process() override;
  // Clears the delay, the transforms and the filters; the learned profile stays, as a setting.
  void restart() override;

  // True when every owned object exists.
  bool complete() const;
  // Sizes everything from a spectrum buffer of L samples; false (nothing changed) when L gives
  // no transform size in 0 ... 11.
  bool size(KV_Buffer* spectrum);
  void setSource(KV_Buffer* b);
  // An output of the input's length, made when first asked for; null before -i.
  KV_Buffer* output(KV_Buffer*& slot, bool& made);
  // Gives an output slot a buffer. One the noise gate made itself and that is replaced is
  // deleted; one given with -o1 or -o2 is deleted with the noise gate.
  void setOutput(KV_Buffer*& slot, bool& made, KV_Buffer* b);
};

// q = (binary digits of L) - 3: the transform size exponent for a spectrum of L samples.
int32_t KV_Noisegate_exponent(int32_t length);

KV_API extern const KV_option KV_Fourier_Noisegate_options[];
