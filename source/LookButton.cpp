#include "LookButton.h"

#include "BinaryData.h"
#include "LookKnob.h"

namespace
{
    void drawPicture (juce::Graphics& g, const juce::Image& picture, const juce::Component& button)
    {
        g.drawImage (picture, 0, 0, button.getWidth(), button.getHeight(),
                     0, 0, picture.getWidth(), picture.getHeight());
    }

    // A filled centre with a faint sheen towards the upper left and a thin rim.
    void drawInset (juce::Graphics& g, const juce::Component& button,
                    juce::Colour fill, juce::Colour sheen, juce::Colour rim)
    {
        const auto r = LookButton::insetArea (button.getWidth(), button.getHeight());

        g.setColour (fill);
        g.fillEllipse (r);

        g.setGradientFill (juce::ColourGradient (sheen, r.getX() + 0.25f * r.getWidth(), r.getY() + 0.2f * r.getHeight(),
                                                 juce::Colour (0x00000000), r.getX() + 0.5f * r.getWidth(), r.getY() + 0.6f * r.getHeight(),
                                                 true));
        g.fillEllipse (r);

        g.setColour (rim);
        g.drawEllipse (r.getX() + 0.5f, r.getY() + 0.5f, r.getWidth() - 1.0f, r.getHeight() - 1.0f, 0.8f);
    }
}

juce::Rectangle<float> LookButton::insetArea (int width, int height)
{
    const auto w = (float) width;
    const auto h = (float) height;

    return { 0.125f * w, 0.125f * h, 0.75f * w, 0.75f * h };
}

void LookButton::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool, bool)
{
    drawPicture (g, juce::ImageCache::getFromMemory (BinaryData::button_black_png, BinaryData::button_black_pngSize), button);

    if (button.getToggleState())
        drawInset (g, button, juce::Colour (0xD9000000), juce::Colour (0x2EFFFFFF), juce::Colour (0x1FFFFFFF));
}

void LookButton::drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
{
    drawSkinTooltip (g, text, width, height);
}

void LookButtonW::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool, bool)
{
    drawPicture (g, juce::ImageCache::getFromMemory (BinaryData::button_grey_png, BinaryData::button_grey_pngSize), button);

    // Follows the button's own state, so the inset goes with the first repaint
    // after release.
    if (button.getState() == juce::Button::buttonDown)
        drawInset (g, button, juce::Colour (0xCC808080), juce::Colour (0x33FFFFFF), juce::Colour (0x26FFFFFF));
}

void LookButtonW::drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
{
    drawSkinTooltip (g, text, width, height);
}
