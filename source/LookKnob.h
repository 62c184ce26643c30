#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The tooltip of every image skin: an opaque black box over the whole window
// with white text centred in it, two lines at most.
void drawSkinTooltip (juce::Graphics& g, const juce::String& text, int width, int height);

// Draws rotary knobs from the 100-frame filmstrip, and tooltips.
class LookKnob : public juce::LookAndFeel_V4
{
public:
    // Linear in the value and rounded up, so only the start of the range shows
    // the first frame.
    static int frameIndex (double value, double start, double end, int frameCount);

    // The square the frame is drawn into: centred on the box, one pixel up and
    // to the left.
    static juce::Rectangle<int> frameBounds (int x, int y, int width, int height);

    void drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height,
                           float sliderPosProportional, float rotaryStartAngle,
                           float rotaryEndAngle, juce::Slider& slider) override;

    void drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height) override;
};
