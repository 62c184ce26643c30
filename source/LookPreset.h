#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The preset bar's dark green terminal look: flat outlined buttons, a matching
// preset box and popup menus with a filled circle as tick mark.
class LookPreset : public juce::LookAndFeel_V4
{
public:
    // The panel's dark green palette, shared with the About panel and the title bar.
    static constexpr juce::uint32 faceColour = 0xFF0E120E;
    static constexpr juce::uint32 hoverColour = 0xFF162616;
    static constexpr juce::uint32 highlightColour = 0xFF1E3A1C;
    static constexpr juce::uint32 outlineColour = 0xFF2E4A2C;
    static constexpr juce::uint32 textColour = 0xFFAAE0A0;
    static constexpr juce::uint32 brightTextColour = 0xFFD0FFD0;
    static constexpr juce::uint32 arrowColour = 0xB2AAE0A0;

    LookPreset();

    // JUCE's default monospaced typeface, which every caption of the panel uses.
    static juce::Font monospacedFont (float height, int styleFlags = juce::Font::plain);

    void drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                               bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
    void drawButtonText (juce::Graphics& g, juce::TextButton& button,
                         bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    void drawPopupMenuBackground (juce::Graphics& g, int width, int height) override;
    void drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area,
                            bool isSeparator, bool isActive, bool isHighlighted, bool isTicked, bool hasSubMenu,
                            const juce::String& itemText, const juce::String& shortcutKeyText,
                            const juce::Drawable* icon, const juce::Colour* itemTextColour) override;
    juce::Font getPopupMenuFont() override;

    void drawComboBox (juce::Graphics& g, int width, int height, bool isButtonDown,
                       int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox& box) override;
    juce::Font getComboBoxFont (juce::ComboBox& box) override;
    void positionComboBoxText (juce::ComboBox& box, juce::Label& label) override;
};
