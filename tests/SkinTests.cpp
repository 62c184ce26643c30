#include "TestSupport.h"

#include "AboutPanel.h"
#include "LookButton.h"
#include "LookKnob.h"
#include "LookPreset.h"
#include "LookSwitch.h"
#include "RibbonSlider.h"

namespace
{
    juce::Image snapshot (juce::Component& c)
    {
        return c.createComponentSnapshot (c.getLocalBounds(), true, 1.0f);
    }

    template <typename Paint>
    juce::Image paintInto (int width, int height, Paint&& paint)
    {
        juce::Image image (juce::Image::ARGB, width, height, true);
        juce::Graphics g (image);
        paint (g);
        return image;
    }

    int maxChannelDifference (juce::Colour a, juce::Colour b)
    {
        return juce::jmax (std::abs (a.getAlpha() - b.getAlpha()), std::abs (a.getRed() - b.getRed()),
                           std::abs (a.getGreen() - b.getGreen()), std::abs (a.getBlue() - b.getBlue()));
    }

    // Largest channel difference over the whole of two images of the same size.
    int maxImageDifference (const juce::Image& a, const juce::Image& b)
    {
        int worst = 0;

        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                worst = juce::jmax (worst, maxChannelDifference (a.getPixelAt (x, y), b.getPixelAt (x, y)));

        return worst;
    }

    double meanImageDifference (const juce::Image& a, const juce::Image& b)
    {
        double sum = 0.0;

        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                sum += maxChannelDifference (a.getPixelAt (x, y), b.getPixelAt (x, y));

        return sum / (a.getWidth() * a.getHeight());
    }

    // The colour of text drawn on a transparent image: its most opaque pixel
    // inside the area, unpremultiplied.
    juce::Colour inkColour (const juce::Image& image, juce::Rectangle<int> area)
    {
        juce::Colour best;

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (image.getPixelAt (x, y).getAlpha() > best.getAlpha())
                    best = image.getPixelAt (x, y);

        return best;
    }

    bool hasInk (const juce::Image& image, juce::Rectangle<int> area)
    {
        return inkColour (image, area).getAlpha() > 0;
    }


    juce::Image picture (const char* fileName)
    {
        return juce::ImageFileFormat::loadFrom (juce::File (MURMEX2_SOURCE_DIR "/resources").getChildFile (fileName));
    }
}

//==============================================================================
TEST (LookKnob, FrameIndexIsLinearAndRoundsUp)
{
    struct Case { double value, start, end; int frameCount, expected; };

    for (const auto& c : { Case { -72.0, -72.0, 12.0, 100, 0 },      // only the minimum shows frame 0
                           Case { -71.9, -72.0, 12.0, 100, 1 },      // one step above it
                           Case { 12.0, -72.0, 12.0, 100, 99 },
                           Case { 0.0, -72.0, 12.0, 100, 85 },       // Volume's default
                           Case { 72.0, 0.0, 127.0, 100, 57 },       // Filter Frequency Floor's default
                           Case { 0.8, 0.0, 1.0, 100, 80 },          // 79.2 up, not to the nearest
                           Case { 1.5, 0.0, 1.0, 100, 99 },          // outside the range stays on the strip
                           Case { 0.5, 0.0, 1.0, 0, 0 },             // undecodable picture
                           Case { 3.0, 3.0, 3.0, 100, 0 } })         // empty range
    {
        EXPECT_EQ (LookKnob::frameIndex (c.value, c.start, c.end, c.frameCount), c.expected)
            << c.value << " in " << c.start << ".." << c.end;
    }
}

TEST (LookKnob, FrameSquareIsCentredOnePixelUpAndLeft)
{
    struct Case { juce::Rectangle<int> box, expected; };

    for (const auto& c : { Case { { 0, 0, 70, 70 }, { -1, -1, 70, 70 } },
                           Case { { 0, 0, 100, 60 }, { 19, -1, 60, 60 } },
                           Case { { 0, 0, 71, 71 }, { -1, -1, 70, 70 } },   // radius 35.5 truncated before doubling
                           Case { { 10, 20, 50, 50 }, { 9, 19, 50, 50 } } })
    {
        EXPECT_EQ (LookKnob::frameBounds (c.box.getX(), c.box.getY(), c.box.getWidth(), c.box.getHeight()), c.expected)
            << c.box.toString();
    }
}

TEST (LookKnob, DrawsTheValuesFrameOfTheStrip)
{
    const auto strip = picture ("knob_strip.png");
    ASSERT_EQ (strip.getWidth(), 100);

    LookKnob look;
    juce::Slider knob (juce::Slider::RotaryHorizontalVerticalDrag, juce::Slider::NoTextBox);
    knob.setLookAndFeel (&look);
    knob.setRange (0.0, 1.0);

    // A 101-pixel box draws the 100-pixel frame unscaled at (-1, -1).
    knob.setSize (101, 101);

    for (const auto& [value, frame] : { std::pair { 0.0, 0 }, { 0.5, 50 }, { 1.0, 99 } })
    {
        knob.setValue (value, juce::dontSendNotification);
        const auto image = snapshot (knob);

        const auto expected = strip.getClippedImage ({ 1, frame * 100 + 1, 99, 99 });
        EXPECT_LE (maxImageDifference (image.getClippedImage ({ 0, 0, 99, 99 }), expected), 1) << "value " << value;

        EXPECT_FALSE (hasInk (image, { 100, 0, 1, 101 }));
        EXPECT_FALSE (hasInk (image, { 0, 100, 101, 1 }));
    }

    // The pointer really moves between the ends of the strip.
    EXPECT_GT (meanImageDifference (strip.getClippedImage ({ 0, 0, 100, 100 }),
                                    strip.getClippedImage ({ 0, 9900, 100, 100 })), 1.0);

    knob.setLookAndFeel (nullptr);
}

TEST (LookKnob, DisabledKnobOrParentDrawsAtThirtyFivePercent)
{
    LookKnob look;
    juce::Component parent;
    juce::Slider knob (juce::Slider::RotaryHorizontalVerticalDrag, juce::Slider::NoTextBox);
    knob.setLookAndFeel (&look);
    parent.addAndMakeVisible (knob);
    parent.setSize (101, 101);
    knob.setSize (101, 101);

    // The knob's body is opaque in every frame.
    const auto centreAlpha = [&] { return snapshot (knob).getPixelAt (49, 49).getAlpha(); };
    ASSERT_EQ (centreAlpha(), 255);

    for (auto* disabled : std::initializer_list<juce::Component*> { &knob, &parent })
    {
        disabled->setEnabled (false);
        EXPECT_NEAR (centreAlpha(), 0.35 * 255, 1.5);

        disabled->setEnabled (true);
        EXPECT_EQ (centreAlpha(), 255);
    }

    knob.setLookAndFeel (nullptr);
}

//==============================================================================
TEST (SkinTooltip, OpaqueBlackBoxWithCentredWhiteTextForEveryImageSkin)
{
    LookKnob knob;
    LookSwitch lever;
    LookButton black;
    LookButtonW grey;

    for (auto* look : std::initializer_list<juce::LookAndFeel*> { &knob, &lever, &black, &grey })
    {
        const auto image = paintInto (160, 40, [&] (juce::Graphics& g)
        {
            g.setColour (juce::Colours::red);
            look->drawTooltip (g, "Audio Signal Interrupt", 160, 40);
        });

        // Square corners, no border, nothing but grey levels.
        juce::Rectangle<int> ink;
        int brightest = 0;

        for (int y = 0; y < 40; ++y)
        {
            for (int x = 0; x < 160; ++x)
            {
                const auto pixel = image.getPixelAt (x, y);
                ASSERT_EQ (pixel.getAlpha(), 255);
                ASSERT_TRUE (pixel.getRed() == pixel.getGreen() && pixel.getGreen() == pixel.getBlue());

                brightest = juce::jmax (brightest, (int) pixel.getRed());

                if (pixel.getRed() > 0)
                    ink = ink.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : ink.getUnion ({ x, y, 1, 1 });
            }
        }

        EXPECT_EQ (brightest, 255);
        EXPECT_NEAR (ink.getCentreX(), 80, 2);
        EXPECT_NEAR (ink.getCentreY(), 20, 2);
    }
}

//==============================================================================
TEST (LookSwitch, ShowsOneWholeFrameStretchedOverTheButton)
{
    const auto lever = picture ("lever_switch.png");
    const auto frameHeight = lever.getHeight() / 2;
    const auto upperFrame = lever.getClippedImage ({ 0, 0, lever.getWidth(), frameHeight });
    const auto lowerFrame = lever.getClippedImage ({ 0, frameHeight, lever.getWidth(), frameHeight });

    LookSwitch look;
    juce::ToggleButton button;
    button.setLookAndFeel (&look);

    for (const auto size : { juce::Point<int> (56, 56), juce::Point<int> (35, 50) })
    {
        button.setSize (size.x, size.y);
        const auto lowerScaled = lowerFrame.rescaled (size.x, size.y);
        const auto upperScaled = upperFrame.rescaled (size.x, size.y);

        for (const auto on : { true, false })
        {
            button.setToggleState (on, juce::dontSendNotification);
            const auto image = snapshot (button);
            const auto& shown = on ? lowerScaled : upperScaled;
            const auto& other = on ? upperScaled : lowerScaled;

            if (size.x == lever.getWidth())
            {
                EXPECT_LE (maxImageDifference (image, shown), 1);
            }

            // Lever up when on, down when off, never a mix of the two.
            EXPECT_LT (meanImageDifference (image, shown) * 4.0, meanImageDifference (image, other))
                << size.toString() << (on ? " on" : " off");
        }
    }

    button.setLookAndFeel (nullptr);
}

//==============================================================================
TEST (LookButton, OnStateDarkensTheCentralThreeQuartersOnly)
{
    EXPECT_EQ (LookButton::insetArea (28, 28), juce::Rectangle<float> (3.5f, 3.5f, 21.0f, 21.0f));

    LookButton look;
    juce::ToggleButton button;
    button.setLookAndFeel (&look);
    button.setSize (28, 28);

    const auto off = snapshot (button);

    // Hovering and pressing leave no mark.
    for (const auto state : { juce::Button::buttonOver, juce::Button::buttonDown })
    {
        button.setState (state);
        EXPECT_EQ (maxImageDifference (snapshot (button), off), 0);
    }

    button.setState (juce::Button::buttonNormal);
    button.setToggleState (true, juce::dontSendNotification);
    const auto on = snapshot (button);

    EXPECT_LT (on.getPixelAt (14, 18).getBrightness(), off.getPixelAt (14, 18).getBrightness() * 0.5f);
    EXPECT_EQ (on.getPixelAt (2, 14), off.getPixelAt (2, 14));
    EXPECT_EQ (on.getPixelAt (14, 25), off.getPixelAt (14, 25));

    button.setToggleState (false, juce::dontSendNotification);
    EXPECT_EQ (maxImageDifference (snapshot (button), off), 0);

    button.setLookAndFeel (nullptr);
}

TEST (LookButton, GreyPushButtonShowsItsInsetOnlyWhileHeldDown)
{
    LookButtonW look;
    juce::TextButton button ("I");
    button.setLookAndFeel (&look);
    button.setSize (28, 28);

    const auto normal = snapshot (button);

    // Only the base's lozenge, visible at the corners, reacts to hovering.
    button.setState (juce::Button::buttonOver);
    EXPECT_EQ (snapshot (button).getPixelAt (14, 18), normal.getPixelAt (14, 18));

    // The grey inset lies over the picture's centre; the edge keeps the picture.
    button.setState (juce::Button::buttonDown);
    const auto down = snapshot (button);
    const auto centre = down.getPixelAt (14, 18);
    EXPECT_GT (maxChannelDifference (centre, normal.getPixelAt (14, 18)), 8);
    EXPECT_NEAR (centre.getRed(), centre.getBlue(), 3);
    EXPECT_EQ (down.getPixelAt (2, 14), normal.getPixelAt (2, 14));

    button.setState (juce::Button::buttonNormal);
    EXPECT_EQ (maxImageDifference (snapshot (button), normal), 0);

    button.setLookAndFeel (nullptr);
}

//==============================================================================
TEST (LookPreset, ButtonFaceAndCaptionFollowTheMouse)
{
    struct Case { bool highlighted, down; juce::uint32 face, caption; };

    LookPreset look;
    juce::TextButton button ("SAV");
    button.setSize (40, 20);

    for (const auto& c : { Case { false, false, 0xFF0E120E, 0xFFAAE0A0 },
                           Case { true, false, 0xFF162616, 0xFFD0FFD0 },
                           Case { true, true, 0xFF1E3A1C, 0xFFD0FFD0 } })
    {
        const auto face = paintInto (40, 20, [&] (juce::Graphics& g)
        {
            look.drawButtonBackground (g, button, juce::Colours::red, c.highlighted, c.down);
        });
        EXPECT_EQ (face.getPixelAt (4, 4).getARGB(), c.face);

        const auto caption = paintInto (40, 20, [&] (juce::Graphics& g)
        {
            look.drawButtonText (g, button, c.highlighted, c.down);
        });
        EXPECT_LE (maxChannelDifference (inkColour (caption, caption.getBounds()), juce::Colour (c.caption)), 2);
    }

    // Too narrow for a caption: nothing shows and nothing fails.
    for (const auto width : { 1, 3 })
    {
        button.setSize (width, 20);
        const auto caption = paintInto (width, 20, [&] (juce::Graphics& g) { look.drawButtonText (g, button, false, false); });
        EXPECT_FALSE (hasInk (caption, caption.getBounds()));
    }
}

TEST (LookPreset, TickedMenuItemShowsADotInTheTickColumnAndBrighterText)
{
    LookPreset look;
    const juce::Rectangle<int> item (0, 0, 200, 22);
    const juce::Rectangle<int> tickColumn (0, 0, 20, 22);
    const juce::Rectangle<int> textColumn (20, 0, 180, 22);

    const auto render = [&] (bool highlighted, bool ticked)
    {
        return paintInto (200, 22, [&] (juce::Graphics& g)
        {
            look.drawPopupMenuItem (g, item, false, true, highlighted, ticked, false, "Factory Swarm", {}, nullptr, nullptr);
        });
    };

    for (const auto ticked : { false, true })
    {
        const auto plain = render (false, ticked);
        EXPECT_EQ (hasInk (plain, tickColumn), ticked);
        EXPECT_LE (maxChannelDifference (inkColour (plain, textColumn), juce::Colour (ticked ? 0xFFD0FFD0 : 0xFFAAE0A0)), 2);

        if (ticked)
        {
            EXPECT_LE (maxChannelDifference (inkColour (plain, tickColumn), juce::Colour (0xFFAAE0A0)), 2);
        }

        // Highlighting only lays the band under the same text.
        const auto expected = paintInto (200, 22, [&] (juce::Graphics& g)
        {
            g.fillAll (juce::Colour (0xFF1E3A1C));
            g.drawImageAt (plain, 0, 0);
        });
        EXPECT_LE (maxImageDifference (render (true, ticked), expected), 2) << (ticked ? "ticked" : "unticked");
    }
}

TEST (LookPreset, PresetBoxInsetsItsTextAndDrawsTheArrowAtTheRight)
{
    LookPreset look;
    juce::ComboBox box;
    box.setLookAndFeel (&look);
    box.setSize (200, 24);
    box.addItem ("Factory Swarm", 1);
    box.setSelectedId (1, juce::dontSendNotification);

    auto* label = dynamic_cast<juce::Label*> (box.getChildComponent (0));
    ASSERT_NE (label, nullptr);
    EXPECT_EQ (label->getBounds(), juce::Rectangle<int> (5, 1, 180, 22));
    EXPECT_EQ (label->getFont().getHeight(), 11.0f);
    EXPECT_EQ (label->findColour (juce::Label::textColourId).getARGB(), 0xFFAAE0A0);
    EXPECT_EQ (label->findColour (juce::Label::backgroundColourId).getARGB(), 0x00000000u);

    const auto image = paintInto (200, 24, [&] (juce::Graphics& g)
    {
        look.drawComboBox (g, 200, 24, false, 0, 0, 200, 24, box);
    });

    const auto face = juce::Colour (0xFF0E120E);
    EXPECT_EQ (image.getPixelAt (180, 11), face);
    EXPECT_LE (maxChannelDifference (image.getPixelAt (190, 11), face.overlaidWith (juce::Colour (0xB2AAE0A0))), 2);
    EXPECT_EQ (image.getPixelAt (190, 16), face);   // the point is 3 pixels below the middle

    box.setLookAndFeel (nullptr);
}

//==============================================================================
class RibbonSliderTest : public testing::Test
{
protected:
    RibbonSliderTest()
    {
        ribbon.setSliderStyle (juce::Slider::LinearHorizontal);
        ribbon.setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
        ribbon.setRange (0.0, 1.0, 0.001);
        ribbon.setSize (661, 105);
    }

    RibbonSlider ribbon;
};

TEST_F (RibbonSliderTest, MapsTheStripFromTenToEightyPercentOfTheWidth)
{
    struct Case { int x; double expected; };

    // L = 66.1, R = 528.8.
    for (const auto& c : { Case { 300, 0.506 }, Case { 66, 0.0 }, Case { 0, 0.0 }, Case { -40, 0.0 },
                           Case { 529, 1.0 }, Case { 661, 1.0 }, Case { 900, 1.0 } })
    {
        ribbon.mouseDown (mouseAt (ribbon, c.x, 50));
        EXPECT_DOUBLE_EQ (ribbon.getValue(), c.expected) << "x = " << c.x;
        ribbon.mouseUp (mouseAt (ribbon, c.x, 50));
    }

    // The y position plays no part, on the component or off it.
    ribbon.mouseDown (mouseAt (ribbon, 300, -500));
    EXPECT_DOUBLE_EQ (ribbon.getValue(), 0.506);

    // A range that does not start at zero.
    ribbon.setRange (-12.0, 12.0, 0.001);
    ribbon.mouseDrag (mouseAt (ribbon, 300, 50));
    EXPECT_NEAR (ribbon.getValue(), -12.0 + 24.0 * 233.9 / 462.7, 0.0011);
}

TEST_F (RibbonSliderTest, TouchIsReportedBeforeTheValueAndReleaseSpringsBack)
{
    std::vector<std::pair<bool, double>> touches;
    ribbon.onTouch = [&] (bool down) { touches.emplace_back (down, ribbon.getValue()); };

    std::vector<double> notified;
    ribbon.onValueChange = [&] { notified.push_back (ribbon.getValue()); };

    ribbon.mouseDown (mouseAt (ribbon, 300, 50));
    EXPECT_DOUBLE_EQ (ribbon.getValue(), 0.506);
    EXPECT_TRUE (notified.empty());   // listeners hear of it asynchronously

    ribbon.mouseDrag (mouseAt (ribbon, 1000, 300));
    EXPECT_DOUBLE_EQ (ribbon.getValue(), 1.0);

    ribbon.mouseUp (mouseAt (ribbon, 1000, 300));
    EXPECT_DOUBLE_EQ (ribbon.getValue(), 0.0);

    const std::vector<std::pair<bool, double>> expectedTouches { { true, 0.0 }, { false, 1.0 } };
    EXPECT_EQ (touches, expectedTouches);

    dispatchPendingMessages();
    ASSERT_FALSE (notified.empty());
    EXPECT_EQ (notified.back(), 0.0);

    // Without a touch callback the ribbon behaves the same.
    ribbon.onTouch = nullptr;
    ribbon.mouseDown (mouseAt (ribbon, 400, 50));
    EXPECT_GT (ribbon.getValue(), 0.5);
    ribbon.mouseUp (mouseAt (ribbon, 400, 50));
    EXPECT_DOUBLE_EQ (ribbon.getValue(), 0.0);
}

TEST_F (RibbonSliderTest, RedMarkerFollowsTheValueAtFiveFourteenthsOfTheHeight)
{
    const auto red = juce::Colour (0xFFFF0000);

    // At rest: the picture only, no marker anywhere along the strap's middle.
    ribbon.setValue (0.0);
    const auto rest = snapshot (ribbon);

    for (int x = 0; x < 661; ++x)
        ASSERT_NE (rest.getPixelAt (x, 37), red) << x;

    // 105 pixels high: the centre is 37.5 pixels from the top.
    struct Case { double value; int x; };

    for (const auto& c : { Case { 0.506, 300 }, Case { 1.0, 528 } })
    {
        ribbon.setValue (c.value);
        const auto image = snapshot (ribbon);

        EXPECT_EQ (image.getPixelAt (c.x, 37), red) << c.value;
        EXPECT_EQ (image.getPixelAt (c.x, 34), red) << c.value;
        EXPECT_EQ (image.getPixelAt (c.x, 43), rest.getPixelAt (c.x, 43)) << c.value;
        EXPECT_EQ (image.getPixelAt (c.x + 7, 37), rest.getPixelAt (c.x + 7, 37)) << c.value;
    }
}

//==============================================================================
class AboutPanelTest : public testing::Test
{
protected:
    AboutPanelTest()
    {
        panel.onClose = [this] { ++closes; };
        panel.setSize (900, 690);
    }

    AboutPanel panel;
    int closes = 0;
};

TEST_F (AboutPanelTest, CardIsCentredWithTheOkButtonAtItsFoot)
{
    EXPECT_EQ (panel.okButton.getBounds(), juce::Rectangle<int> (402, 449, 96, 32));

    const auto image = paintInto (900, 690, [&] (juce::Graphics& g) { panel.paint (g); });

    EXPECT_EQ (image.getPixelAt (100, 100).getARGB(), 0xAD000000u);   // dimmed editor
    EXPECT_GT (image.getPixelAt (238, 300).getAlpha(), image.getPixelAt (234, 300).getAlpha());   // shadow darkens towards the card
    EXPECT_EQ (image.getPixelAt (231, 300).getARGB(), 0xAD000000u);   // and ends 8 pixels out
    EXPECT_EQ (image.getPixelAt (300, 200).getARGB(), 0xFF0E160E);    // header band
    EXPECT_EQ (image.getPixelAt (300, 245).getARGB(), 0xFF2E4A2C);    // its rule
    EXPECT_EQ (image.getPixelAt (245, 300).getARGB(), 0xFF0C100C);    // card face
    EXPECT_EQ (image.getPixelAt (600, 373).getARGB(), 0xFF1E3A1C);    // version badge at (598, 371)
    EXPECT_EQ (image.getPixelAt (596, 373).getARGB(), 0xFF0C100C);

    // An odd width rounds the card's left edge down.
    panel.setSize (901, 690);
    EXPECT_EQ (panel.okButton.getX(), 402);
}

TEST_F (AboutPanelTest, OnlyClicksOutsideTheCardClose)
{
    struct Case { int x, y; bool closes; };

    for (const auto& c : { Case { 239, 300, true }, Case { 660, 300, true }, Case { 450, 100, true }, Case { 450, 495, true },
                           Case { 240, 195, false }, Case { 659, 494, false }, Case { 450, 300, false } })
    {
        closes = 0;
        panel.mouseDown (mouseAt (panel, c.x, c.y));
        EXPECT_EQ (closes, c.closes ? 1 : 0) << c.x << ", " << c.y;
    }

    // Without a callback the panel simply stays.
    panel.onClose = nullptr;
    panel.mouseDown (mouseAt (panel, 10, 10));
    panel.okButton.triggerClick();
    dispatchPendingMessages();
}

TEST_F (AboutPanelTest, OkButtonClosesAndThePanelTakesEveryClickOverTheEditor)
{
    panel.okButton.triggerClick();
    dispatchPendingMessages();
    EXPECT_EQ (closes, 1);

    juce::Component editor;
    juce::Slider knob (juce::Slider::RotaryHorizontalVerticalDrag, juce::Slider::NoTextBox);
    editor.setSize (900, 690);
    editor.setVisible (true);
    editor.addAndMakeVisible (knob);
    knob.setBounds (50, 85, 70, 70);
    editor.addChildComponent (panel);
    panel.setBounds (editor.getLocalBounds());

    EXPECT_EQ (editor.getComponentAt (85, 120), &knob);

    panel.setVisible (true);
    EXPECT_EQ (editor.getComponentAt (85, 120), &panel);
    EXPECT_EQ (editor.getComponentAt (450, 465), &panel.okButton);

    editor.removeChildComponent (&panel);
}
