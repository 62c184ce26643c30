#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "LookPreset.h"

// The credits overlay: dims the whole editor and shows a centred card. "OK" or
// a click outside the card reports through onClose; the owner hides the panel.
class AboutPanel : public juce::Component
{
public:
    AboutPanel();
    ~AboutPanel() override;

    void mouseDown (const juce::MouseEvent& e) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

    std::function<void()> onClose;
    LookPreset okButtonLook;
    juce::TextButton okButton;

private:
    juce::Rectangle<int> getCardBounds() const;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AboutPanel)
};
