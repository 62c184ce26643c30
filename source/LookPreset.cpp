#include "LookPreset.h"

LookPreset::LookPreset()
{
    // Only where JUCE looks colours up itself: the box's label and the popup window.
    setColour (juce::ComboBox::backgroundColourId, juce::Colour (faceColour));
    setColour (juce::ComboBox::textColourId, juce::Colour (textColour));
    setColour (juce::ComboBox::outlineColourId, juce::Colour (outlineColour));
    setColour (juce::ComboBox::arrowColourId, juce::Colour (textColour));
    setColour (juce::PopupMenu::backgroundColourId, juce::Colour (faceColour));
    setColour (juce::PopupMenu::textColourId, juce::Colour (textColour));
    setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (highlightColour));
    setColour (juce::PopupMenu::highlightedTextColourId, juce::Colour (0xFFE0FFD8));
}

juce::Font LookPreset::monospacedFont (float height, int styleFlags)
{
    return { juce::Font::getDefaultMonospacedFontName(), height, styleFlags };
}

void LookPreset::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour&,
                                       bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
{
    const juce::Rectangle<float> area (0.5f, 0.5f,
                                       (float) juce::jmax (button.getWidth() - 1, 0),
                                       (float) juce::jmax (button.getHeight() - 1, 0));

    g.setColour (juce::Colour (shouldDrawButtonAsDown ? highlightColour : shouldDrawButtonAsHighlighted ? hoverColour : faceColour));
    g.fillRoundedRectangle (area, 2.0f);

    g.setColour (juce::Colour (outlineColour));
    g.drawRoundedRectangle (area, 2.0f, 0.8f);
}

void LookPreset::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool shouldDrawButtonAsHighlighted, bool)
{
    g.setColour (juce::Colour (shouldDrawButtonAsHighlighted ? brightTextColour : textColour));
    g.setFont (monospacedFont (10.5f));
    g.drawFittedText (button.getButtonText(), 2, 0, juce::jmax (button.getWidth() - 4, 0), juce::jmax (button.getHeight(), 0),
                      juce::Justification::centred, 1, 0.0f);
}

void LookPreset::drawPopupMenuBackground (juce::Graphics& g, int width, int height)
{
    g.fillAll (juce::Colour (faceColour));

    g.setColour (juce::Colour (outlineColour));
    g.drawRect (juce::Rectangle<float> ((float) width, (float) height), 1.0f);
}

void LookPreset::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area,
                                    bool, bool, bool isHighlighted, bool isTicked, bool,
                                    const juce::String& itemText, const juce::String&,
                                    const juce::Drawable*, const juce::Colour*)
{
    if (isHighlighted)
    {
        g.setColour (juce::Colour (highlightColour));
        g.fillRect (area);
    }

    g.setFont (getPopupMenuFont());
    g.setColour (juce::Colour (isTicked ? brightTextColour : textColour));
    g.drawFittedText (itemText, area.getX() + 20, area.getY(), juce::jmax (area.getWidth() - 24, 0), area.getHeight(),
                      juce::Justification::centredLeft, 1, 0.0f);

    if (isTicked)
    {
        // The tick column is the item's left 20 pixels.
        g.setColour (juce::Colour (textColour));
        g.drawText (juce::String::charToString ((juce::juce_wchar) 0x25CF),
                    juce::Rectangle<float> ((float) area.getX(), (float) area.getY(), 20.0f, (float) area.getHeight()),
                    juce::Justification::centred, false);
    }
}

juce::Font LookPreset::getPopupMenuFont()
{
    return monospacedFont (11.0f);
}

void LookPreset::drawComboBox (juce::Graphics& g, int width, int height, bool, int, int, int, int, juce::ComboBox&)
{
    const auto w = (float) width;
    const auto h = (float) height;

    g.setColour (juce::Colour (faceColour));
    g.fillRoundedRectangle (0.0f, 0.0f, w, h, 2.0f);

    g.setColour (juce::Colour (outlineColour));
    g.drawRoundedRectangle (0.5f, 0.5f, w - 1.0f, h - 1.0f, 2.0f, 0.8f);

    const auto ax = w - 10.0f;
    const auto ay = h * 0.5f;

    juce::Path triangle;
    triangle.addTriangle (ax - 4.0f, ay - 2.0f, ax + 4.0f, ay - 2.0f, ax, ay + 3.0f);

    g.setColour (juce::Colour (arrowColour));
    g.fillPath (triangle);
}

juce::Font LookPreset::getComboBoxFont (juce::ComboBox&)
{
    return monospacedFont (11.0f);
}

void LookPreset::positionComboBoxText (juce::ComboBox& box, juce::Label& label)
{
    // Room on the right for the arrow.
    label.setBounds (5, 1, box.getWidth() - 20, box.getHeight() - 2);
    label.setFont (getComboBoxFont (box));
    label.setColour (juce::Label::textColourId, juce::Colour (textColour));
    label.setColour (juce::Label::backgroundColourId, juce::Colour (0x00000000));
}
