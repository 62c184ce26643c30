#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Draws the lever toggle switches from the two-frame picture: lever down when
// off, lever up when on.
class LookSwitch : public juce::LookAndFeel_V4
{
public:
    void drawToggleButton (juce::Graphics& g, juce::ToggleButton& button,
                           bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    void drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height) override;
};
