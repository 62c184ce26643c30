#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

// The voice's envelope: JUCE's ADSR with its own copy of the four settings.
class AdsrData : public juce::ADSR
{
public:
    // Takes the four settings (seconds, and the sustain level 0..1) and applies them.
    void update (float attack, float decay, float sustain, float release) noexcept;

    juce::ADSR::Parameters adsrParams;
};
