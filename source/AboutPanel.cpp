#include "AboutPanel.h"

namespace
{
    constexpr int cardWidth = 420;
    constexpr int cardHeight = 300;
}

AboutPanel::AboutPanel()
{
    okButton.setLookAndFeel (&okButtonLook);
    okButton.setButtonText ("OK");
    okButton.onClick = [this]
    {
        if (onClose)
            onClose();
    };
    addAndMakeVisible (okButton);

    // Nothing underneath can be clicked while the panel shows.
    setInterceptsMouseClicks (true, true);
}

AboutPanel::~AboutPanel()
{
    okButton.setLookAndFeel (nullptr);
}

juce::Rectangle<int> AboutPanel::getCardBounds() const
{
    return { (getWidth() - cardWidth) / 2, (getHeight() - cardHeight) / 2, cardWidth, cardHeight };
}

void AboutPanel::mouseDown (const juce::MouseEvent& e)
{
    if (getCardBounds().contains (e.x, e.y))
        return;

    if (onClose)
        onClose();
}

void AboutPanel::resized()
{
    const auto card = getCardBounds();
    okButton.setBounds (card.getX() + 162, card.getY() + 254, 96, 32);
}

void AboutPanel::paint (juce::Graphics& g)
{
    const auto card = getCardBounds();
    const auto bx = (float) card.getX();
    const auto by = (float) card.getY();
    const auto w = (float) cardWidth;
    const auto h = (float) cardHeight;

    g.fillAll (juce::Colour (0xAD000000));

    // Eight faint layers stack into a shadow that darkens towards the card.
    for (int k = 8; k >= 1; --k)
    {
        const auto spread = (float) k;
        g.setColour (juce::Colour (0x0D000000));
        g.fillRoundedRectangle (bx - spread, by - spread, w + 2.0f * spread, h + 2.0f * spread, 10.0f);
    }

    g.setColour (juce::Colour (0xFF0C100C));
    g.fillRoundedRectangle (bx, by, w, h, 8.0f);
    g.setColour (juce::Colour (LookPreset::outlineColour));
    g.drawRoundedRectangle (bx + 0.5f, by + 0.5f, w - 1.0f, h - 1.0f, 8.0f, 1.5f);

    juce::Path header;
    header.addRoundedRectangle (bx, by, w, 50.0f, 8.0f, 8.0f, true, true, false, false);
    g.setColour (juce::Colour (0xFF0E160E));
    g.fillPath (header);
    g.setColour (juce::Colour (LookPreset::outlineColour));
    g.fillRect (card.getX(), card.getY() + 50, cardWidth, 1);

    // Faint copies either side give the title a soft glow.
    g.setFont (LookPreset::monospacedFont (20.0f, juce::Font::bold));

    const auto drawTitle = [&] (float dx, juce::uint32 colour)
    {
        g.setColour (juce::Colour (colour));
        g.drawText ("MURMEX 2", juce::Rectangle<float> (bx + dx, by, w, 50.0f), juce::Justification::centred, true);
    };

    drawTitle (-1.0f, 0x1AAAE0A0);
    drawTitle (0.0f, LookPreset::textColour);
    drawTitle (1.0f, 0x1AAAE0A0);

    const auto columnX = bx + 22.0f;
    const auto columnWidth = 376.0f;
    auto rowY = by + 64.0f;

    g.setFont (LookPreset::monospacedFont (11.0f));
    g.setColour (juce::Colour (0xFF88C888));
    g.drawFittedText ("Ricostruzione software del sintetizzatore\nanalogico Corvalli Stormo 8.",
                      card.getX() + 22, (int) rowY, (int) columnWidth, 36,
                      juce::Justification::centredLeft, 2, 0.0f);

    g.setColour (juce::Colour (LookPreset::highlightColour));
    g.fillRect (card.getX() + 22, card.getY() + 108, (int) columnWidth, 1);
    rowY = by + 118.0f;

    const auto drawRow = [&] (const juce::String& label, const juce::String& value)
    {
        const auto half = columnWidth / 2.0f;

        g.setFont (LookPreset::monospacedFont (10.0f));
        g.setColour (juce::Colour (0xFF4A7A58));
        g.drawText (label, juce::Rectangle<float> (columnX, rowY, half, 16.0f), juce::Justification::centredLeft, true);
        g.setColour (juce::Colour (0xFF9AD090));
        g.drawText (value, juce::Rectangle<float> (columnX + half, rowY, half, 16.0f), juce::Justification::centredLeft, true);

        rowY += 18.0f;
    };

    drawRow ("Design e DSP", "Orvandi");
    drawRow ("Hardware originale", "Corvalli Elettronica (1977)");
    drawRow ("Creatori hardware", "Nino Ravelli, Elda Sforzi");

    rowY += 4.0f;
    const juce::Rectangle<float> badge (bx + 358.0f, rowY, 54.0f, 16.0f);

    g.setColour (juce::Colour (LookPreset::highlightColour));
    g.fillRoundedRectangle (badge, 3.0f);
    g.setFont (LookPreset::monospacedFont (9.0f));
    g.setColour (juce::Colour (0xFF5A9A68));
    g.drawText ("v 2.0", badge, juce::Justification::centred, true);
}
