#include "LookSwitch.h"

#include "BinaryData.h"
#include "LookKnob.h"

void LookSwitch::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool, bool)
{
    const auto picture = juce::ImageCache::getFromMemory (BinaryData::lever_switch_png, BinaryData::lever_switch_pngSize);
    const auto frameHeight = picture.getHeight() / 2;

    // Stretched to the button whatever its shape; the frames never mix.
    g.drawImage (picture, 0, 0, button.getWidth(), button.getHeight(),
                 0, button.getToggleState() ? frameHeight : 0, picture.getWidth(), frameHeight);
}

void LookSwitch::drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
{
    drawSkinTooltip (g, text, width, height);
}
