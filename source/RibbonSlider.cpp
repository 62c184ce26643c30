#include "RibbonSlider.h"

#include "BinaryData.h"

RibbonSlider::RibbonSlider()
    : ribbonImage (juce::ImageCache::getFromMemory (BinaryData::ribbon_png, BinaryData::ribbon_pngSize))
{
}

double RibbonSlider::valueAtX (int x) const
{
    const auto width = (float) getWidth();
    const auto left = width * stripStart;
    const auto right = width * stripEnd;
    const auto clamped = (float) x < left ? left : juce::jmin (right, (float) x);
    const auto proportion = (clamped - left) / (right - left);
    const auto start = getMinimum();

    return (double) (float) (proportion * (getMaximum() - start) + start);
}

void RibbonSlider::mouseDown (const juce::MouseEvent& e)
{
    if (onTouch)
        onTouch (true);

    setValue (valueAtX (e.x), juce::sendNotificationAsync);
}

void RibbonSlider::mouseDrag (const juce::MouseEvent& e)
{
    setValue (valueAtX (e.x), juce::sendNotificationAsync);
}

void RibbonSlider::mouseUp (const juce::MouseEvent&)
{
    if (onTouch)
        onTouch (false);

    setValue (getMinimum(), juce::sendNotificationAsync);
}

void RibbonSlider::paint (juce::Graphics& g)
{
    const auto width = (float) getWidth();
    const auto height = (float) getHeight();

    g.drawImage (ribbonImage, 0, 0, getWidth(), getHeight(), 0, 0, ribbonImage.getWidth(), ribbonImage.getHeight());

    const auto value = getValue();
    const auto start = getMinimum();

    if (! (value > start))
        return;

    // The dot sits on the strap's middle line, a third of the way down the picture.
    const auto left = width * stripStart;
    const auto right = width * stripEnd;
    const auto mx = (float) ((value - start) / (getMaximum() - start)) * (right - left) + left;
    const auto my = (height * 0.5f) / 1.4f;

    g.setColour (juce::Colours::red);
    g.fillEllipse (mx - 5.0f, my - 5.0f, 10.0f, 10.0f);
}
