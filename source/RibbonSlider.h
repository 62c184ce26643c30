#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A ribbon controller: pressing and sliding along the strap sets the value,
// releasing springs it back to the start of the range. A red dot marks the
// value while it is above the start.
class RibbonSlider : public juce::Slider
{
public:
    RibbonSlider();

    void mouseDown (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void paint (juce::Graphics& g) override;

    // Called with true when the ribbon is pressed and with false on release,
    // each time before the value changes.
    std::function<void (bool)> onTouch;

    // The playable strip, as fractions of the width; outside it the value
    // holds at the range's ends.
    float stripStart = 0.1f;
    float stripEnd = 0.8f;

    juce::Image ribbonImage;

private:
    // The slider value for a mouse x position in component pixels.
    double valueAtX (int x) const;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (RibbonSlider)
};
