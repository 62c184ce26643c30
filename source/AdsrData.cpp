#include "AdsrData.h"

void AdsrData::update (float attack, float decay, float sustain, float release) noexcept
{
    adsrParams.attack = attack;
    adsrParams.decay = decay;
    adsrParams.sustain = sustain;
    adsrParams.release = release;
    setParameters (adsrParams);
}
