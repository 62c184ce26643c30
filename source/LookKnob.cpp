#include "LookKnob.h"

#include "BinaryData.h"

void drawSkinTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
{
    g.setColour (juce::Colours::black);
    g.fillRect (juce::Rectangle<float> ((float) width, (float) height));

    g.setColour (juce::Colours::white);
    g.drawFittedText (text, 0, 0, width, height, juce::Justification::centred, 2, 0.0f);
}

int LookKnob::frameIndex (double value, double start, double end, int frameCount)
{
    if (frameCount < 2 || ! (end > start))
        return 0;

    const auto index = std::ceil ((value - start) / (end - start) * (frameCount - 1));

    // A value outside the range would point past the strip.
    return juce::jlimit (0, frameCount - 1, (int) index);
}

juce::Rectangle<int> LookKnob::frameBounds (int x, int y, int width, int height)
{
    const auto radius = juce::jmin ((float) width * 0.5f, (float) height * 0.5f);
    const auto left = (float) x + (float) width * 0.5f - radius - 1.0f;
    const auto top = (float) y + (float) height * 0.5f - radius - 1.0f;
    const auto side = 2 * (int) radius;

    return { (int) left, (int) top, side, side };
}

void LookKnob::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height,
                                 float, float, float, juce::Slider& slider)
{
    const auto strip = juce::ImageCache::getFromMemory (BinaryData::knob_strip_png, BinaryData::knob_strip_pngSize);
    const auto frameSize = strip.getWidth();
    const auto frameCount = frameSize > 0 ? strip.getHeight() / frameSize : 0;
    const auto index = frameIndex (slider.getValue(), slider.getMinimum(), slider.getMaximum(), frameCount);
    const auto area = frameBounds (x, y, width, height);

    if (! slider.isEnabled())
        g.setOpacity (0.35f);

    g.drawImage (strip, area.getX(), area.getY(), area.getWidth(), area.getHeight(),
                 0, index * frameSize, frameSize, frameSize);
}

void LookKnob::drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
{
    drawSkinTooltip (g, text, width, height);
}
