#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Draws the black round toggle buttons; an on button gets a darkened centre.
class LookButton : public juce::LookAndFeel_V4
{
public:
    // The central three quarters of a button, where the on or pressed inset goes.
    static juce::Rectangle<float> insetArea (int width, int height);

    void drawToggleButton (juce::Graphics& g, juce::ToggleButton& button,
                           bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    void drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height) override;
};

// Draws the grey round push button over the base's background; it shows a
// grey inset only while held down.
class LookButtonW : public juce::LookAndFeel_V2
{
public:
    void drawButtonText (juce::Graphics& g, juce::TextButton& button,
                         bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    void drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height) override;
};
