/*
    murmex2-artwork [outputDir]

    Draws the six panel pictures that the editor embeds (background, ribbon,
    two round buttons, lever switch, knob filmstrip) and writes them into
    outputDir. Every random source has a fixed seed, so a run always gives
    the same files. Without an argument it writes to ./resources.
*/

#include <juce_graphics/juce_graphics.h>

namespace
{
using juce::Colour;
using juce::Image;
using juce::Path;
using juce::PixelARGB;

constexpr float pi = juce::MathConstants<float>::pi;

//==============================================================================
struct Vec3
{
    float x, y, z;

    Vec3 normalised() const
    {
        auto len = std::sqrt (x * x + y * y + z * z);
        return { x / len, y / len, z / len };
    }

    float dot (Vec3 o) const { return x * o.x + y * o.y + z * o.z; }
};

// One light for every picture: upper left, a little in front of the panel.
const Vec3 lightDir = Vec3 { -0.55f, -0.65f, 0.75f }.normalised();
const Vec3 halfVector = Vec3 { lightDir.x, lightDir.y, lightDir.z + 1.0f }.normalised();

Colour mixColour (Colour a, Colour b, float t)
{
    return a.interpolatedWith (b, juce::jlimit (0.0f, 1.0f, t));
}

Colour scaleBrightness (Colour c, float k)
{
    auto f = [k] (juce::uint8 v) { return (juce::uint8) juce::jlimit (0, 255, juce::roundToInt (v * k)); };
    return Colour (f (c.getRed()), f (c.getGreen()), f (c.getBlue()), c.getAlpha());
}

Colour addLight (Colour c, float amount)
{
    auto f = [amount] (juce::uint8 v) { return (juce::uint8) juce::jlimit (0, 255, juce::roundToInt (v + amount * 255.0f)); };
    return Colour (f (c.getRed()), f (c.getGreen()), f (c.getBlue()), c.getAlpha());
}

//==============================================================================
// Smooth lattice noise; juce::Random fills the lattice so the seed fixes it.
class ValueNoise
{
public:
    explicit ValueNoise (juce::int64 seed)
    {
        juce::Random r (seed);

        for (auto& v : values)
            v = r.nextFloat() * 2.0f - 1.0f;
    }

    float at (float x, float y) const
    {
        auto xi = (int) std::floor (x), yi = (int) std::floor (y);
        auto fx = x - (float) xi, fy = y - (float) yi;
        fx = fx * fx * (3.0f - 2.0f * fx);
        fy = fy * fy * (3.0f - 2.0f * fy);

        auto a = lattice (xi, yi), b = lattice (xi + 1, yi);
        auto c = lattice (xi, yi + 1), d = lattice (xi + 1, yi + 1);
        return juce::jmap (fy, juce::jmap (fx, a, b), juce::jmap (fx, c, d));
    }

    float fbm (float x, float y, int octaves, float gain = 0.5f) const
    {
        float sum = 0.0f, amp = 1.0f, norm = 0.0f;

        for (int i = 0; i < octaves; ++i)
        {
            sum += amp * at (x, y);
            norm += amp;
            amp *= gain;
            x = x * 2.03f + 17.1f;
            y = y * 2.03f + 5.3f;
        }

        return sum / norm;
    }

private:
    static constexpr int size = 256;
    std::array<float, size * size> values {};

    float lattice (int x, int y) const { return values[(size_t) ((y & (size - 1)) * size + (x & (size - 1)))]; }
};

//==============================================================================
// Fills the area with a colour computed per pixel; shader (x, y) works in
// design units, the image may be a supersampled copy (scale pixels per unit).
template <typename Shader>
void paintShaded (Image& dest, const Path& area, float scale, Shader&& shader)
{
    Image mask (Image::SingleChannel, dest.getWidth(), dest.getHeight(), true);

    {
        juce::Graphics g (mask);
        g.setColour (juce::Colours::white);
        g.fillPath (area, juce::AffineTransform::scale (scale));
    }

    const Image::BitmapData m (mask, Image::BitmapData::readOnly);
    Image::BitmapData d (dest, Image::BitmapData::readWrite);

    for (int y = 0; y < d.height; ++y)
    {
        for (int x = 0; x < d.width; ++x)
        {
            auto coverage = *m.getPixelPointer (x, y);

            if (coverage == 0)
                continue;

            auto c = shader (((float) x + 0.5f) / scale, ((float) y + 0.5f) / scale);
            auto src = c.withMultipliedAlpha ((float) coverage / 255.0f).getPixelARGB();
            auto* p = reinterpret_cast<PixelARGB*> (d.getPixelPointer (x, y));
            p->blend (src);
        }
    }
}

// Box filter: averages premultiplied pixels, so edges stay clean.
Image downsample (const Image& src, int factor)
{
    auto w = src.getWidth() / factor, h = src.getHeight() / factor;
    Image dst (Image::ARGB, w, h, true);
    const Image::BitmapData s (src, Image::BitmapData::readOnly);
    Image::BitmapData d (dst, Image::BitmapData::writeOnly);
    auto n = (float) (factor * factor);

    for (int y = 0; y < h; ++y)
    {
        for (int x = 0; x < w; ++x)
        {
            float a = 0, r = 0, g = 0, b = 0;

            for (int j = 0; j < factor; ++j)
            {
                for (int i = 0; i < factor; ++i)
                {
                    auto* p = reinterpret_cast<const PixelARGB*> (s.getPixelPointer (x * factor + i, y * factor + j));
                    a += p->getAlpha();
                    r += p->getRed();
                    g += p->getGreen();
                    b += p->getBlue();
                }
            }

            auto* q = reinterpret_cast<PixelARGB*> (d.getPixelPointer (x, y));
            q->setARGB ((juce::uint8) juce::roundToInt (a / n), (juce::uint8) juce::roundToInt (r / n),
                        (juce::uint8) juce::roundToInt (g / n), (juce::uint8) juce::roundToInt (b / n));
        }
    }

    return dst;
}

// Soft shadow: the shape drawn as a stack of faint, growing strokes.
void drawSoftShadow (juce::Graphics& g, const Path& shape, juce::Point<float> offset,
                     float spread, float alpha, int steps = 10)
{
    auto p = shape;
    p.applyTransform (juce::AffineTransform::translation (offset));

    for (int i = steps; i > 0; --i)
    {
        auto w = spread * (float) i / (float) steps;
        g.setColour (juce::Colours::black.withAlpha (alpha / (float) steps));
        g.strokePath (p, juce::PathStrokeType (w * 2.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
    }

    g.setColour (juce::Colours::black.withAlpha (alpha * 0.6f));
    g.fillPath (p);
}

//==============================================================================
// Powder-coated teal: soft mottling, a faint orange-peel relief and fine grain.
Image makePanelBackground()
{
    constexpr int w = 948, h = 606;
    Image img (Image::RGB, w, h, false);
    ValueNoise mottle (11), hue (12), peel (13);
    juce::Random grain (14);

    const Colour teal (0xff2b6a63), green (0xff326f58), pale (0xff3f7f74);
    Image::BitmapData d (img, Image::BitmapData::writeOnly);

    for (int y = 0; y < h; ++y)
    {
        for (int x = 0; x < w; ++x)
        {
            auto fx = (float) x, fy = (float) y;
            auto m = mottle.fbm (fx / 95.0f, fy / 95.0f, 5, 0.55f);
            auto t = hue.fbm (fx / 260.0f, fy / 260.0f, 3) * 0.5f + 0.5f;

            // relief lit from the upper left, by finite differences
            auto hC = peel.fbm (fx / 3.2f, fy / 3.2f, 2);
            auto hX = peel.fbm ((fx + 1.0f) / 3.2f, fy / 3.2f, 2);
            auto hY = peel.fbm (fx / 3.2f, (fy + 1.0f) / 3.2f, 2);
            auto relief = ((hC - hX) * -lightDir.x + (hC - hY) * -lightDir.y) * -0.07f;

            auto c = mixColour (teal, green, t * 0.8f);
            c = mixColour (c, pale, juce::jmax (0.0f, m) * 0.55f);
            c = scaleBrightness (c, 1.0f + m * 0.10f);
            c = addLight (c, relief + (grain.nextFloat() - 0.5f) * 0.018f);

            d.setPixelColour (x, y, c);
        }
    }

    return img;
}

//==============================================================================
// Helix seen from the side; back turns first, then the front ones.
void drawSpring (juce::Graphics& g, float x0, float x1, float yc, float radius, int turns, float wire)
{
    auto length = x1 - x0;
    constexpr int segmentsPerTurn = 24;
    auto total = turns * segmentsPerTurn;

    auto pointAt = [&] (int i)
    {
        auto t = (float) i / (float) segmentsPerTurn * 2.0f * pi;
        return juce::Point<float> (x0 + length * (float) i / (float) total + radius * 0.35f * std::sin (t),
                                   yc - radius * std::cos (t));
    };

    for (int pass = 0; pass < 2; ++pass)
    {
        for (int i = 0; i < total; ++i)
        {
            auto t = ((float) i + 0.5f) / (float) segmentsPerTurn * 2.0f * pi;
            auto front = std::sin (t) > 0.0f;

            if (front != (pass == 1))
                continue;

            Path seg;
            seg.startNewSubPath (pointAt (i));
            seg.lineTo (pointAt (i + 1));
            auto stroke = juce::PathStrokeType (wire, juce::PathStrokeType::curved, juce::PathStrokeType::rounded);

            if (! front)
            {
                g.setColour (Colour (0xff3a3a38));
                g.strokePath (seg, stroke);
                continue;
            }

            // brighter where the wire faces the light
            auto lit = 0.5f + 0.5f * -std::cos (t);
            g.setColour (Colour (0xff1c1c1a));
            g.strokePath (seg, juce::PathStrokeType (wire + 1.2f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
            g.setColour (mixColour (Colour (0xff6e6c68), Colour (0xffd8d6d0), lit));
            g.strokePath (seg, stroke);
            g.setColour (juce::Colours::white.withAlpha (0.55f * lit));
            g.strokePath (seg, juce::PathStrokeType (wire * 0.35f), juce::AffineTransform::translation (0.0f, -wire * 0.2f));
        }
    }
}

void drawRivet (juce::Graphics& g, juce::Point<float> c, float r)
{
    g.setColour (juce::Colours::black.withAlpha (0.45f));
    g.fillEllipse (c.x - r + 1.5f, c.y - r + 3.0f, r * 2.0f, r * 2.0f);

    juce::ColourGradient body (Colour (0xfff0e6c8), c.x - r * 0.45f, c.y - r * 0.5f,
                               Colour (0xff5a4a2c), c.x + r * 0.7f, c.y + r * 0.8f, true);
    body.addColour (0.45, Colour (0xffb8a072));
    g.setGradientFill (body);
    g.fillEllipse (c.x - r, c.y - r, r * 2.0f, r * 2.0f);

    g.setColour (Colour (0xff3a2e1a).withAlpha (0.8f));
    g.drawEllipse (c.x - r, c.y - r, r * 2.0f, r * 2.0f, 1.0f);
    g.setColour (juce::Colours::white.withAlpha (0.7f));
    g.fillEllipse (c.x - r * 0.5f, c.y - r * 0.55f, r * 0.45f, r * 0.35f);
}

// Wooden bar with a leather strap: rivet at the left, two springs at the right.
Image makeRibbon()
{
    constexpr int w = 1331, h = 213, ss = 2;
    Image big (Image::ARGB, w * ss, h * ss, true);

    const juce::Rectangle<float> bar (10.0f, 22.0f, 1311.0f, 176.0f);
    const float strapTop = 50.0f, strapBottom = 102.0f;        // middle at 76 = 5/14 of the height
    const float strapLeft = 34.0f, strapRight = 1126.0f;
    const float ribTop = 118.0f, ribPitch = 17.0f;
    constexpr int ribCount = 4;

    {
        juce::Graphics g (big);
        g.addTransform (juce::AffineTransform::scale ((float) ss));
        Path outline;
        outline.addRoundedRectangle (bar, 16.0f);
        drawSoftShadow (g, outline, { 2.0f, 5.0f }, 7.0f, 0.55f);
    }

    // Wood: long grain, a few dark streaks, ribs along the lower part.
    ValueNoise grain (21), streak (22), fine (23);
    Path barPath;
    barPath.addRoundedRectangle (bar, 16.0f);

    auto ribHeight = [&] (float y)
    {
        auto v = (y - ribTop) / ribPitch;

        if (v < 0.0f || v > (float) ribCount)
            return std::pair<float, float> (0.0f, 0.0f);

        auto f = v - std::floor (v);
        // rounded rib: height sin(pi f), slope its derivative
        return std::pair<float, float> (std::sin (pi * f), std::cos (pi * f));
    };

    paintShaded (big, barPath, (float) ss, [&] (float x, float y)
    {
        auto g1 = grain.fbm (x / 260.0f, y / 7.0f, 4);
        auto s = streak.fbm (x / 90.0f + g1 * 1.5f, y / 2.2f, 3);
        auto f = fine.at (x / 1.5f, y / 0.9f);

        auto c = mixColour (Colour (0xff6e2c18), Colour (0xff9c4a28), 0.5f + g1 * 0.9f);
        c = mixColour (c, Colour (0xff42180c), juce::jmax (0.0f, s) * (y > ribTop ? 0.7f : 1.1f));
        c = scaleBrightness (c, 1.0f + f * 0.06f);

        // the bar's rounded long edges
        auto ny = (y - bar.getCentreY()) / (bar.getHeight() * 0.5f);
        auto edge = std::pow (std::abs (ny), 6.0f);
        c = ny < 0 ? addLight (c, edge * 0.16f) : scaleBrightness (c, 1.0f - edge * 0.45f);

        auto [rib, slope] = ribHeight (y);
        if (rib > 0.0f || slope != 0.0f)
        {
            // dark grooves between the ribs, lit upper flanks
            c = scaleBrightness (c, 0.5f + 0.55f * std::sqrt (rib));
            c = addLight (c, juce::jmax (0.0f, slope) * 0.09f);
        }

        // lighter towards the left end, where the light comes from
        return scaleBrightness (c, 1.08f - 0.12f * x / (float) w);
    });

    juce::Graphics g (big);
    g.addTransform (juce::AffineTransform::scale ((float) ss));

    // a varnish sheen along the upper half of the bar
    {
        juce::ColourGradient sheen (juce::Colours::white.withAlpha (0.12f), 0.0f, bar.getY() + 4.0f,
                                    juce::Colours::transparentWhite, 0.0f, bar.getY() + 40.0f, false);
        g.setGradientFill (sheen);
        g.fillRoundedRectangle (bar.reduced (4.0f, 2.0f).withHeight (36.0f), 12.0f);
        // crisp groove lines so the ribs still read when the picture is shrunk
        for (int i = 0; i <= ribCount; ++i)
        {
            auto gy = ribTop + (float) i * ribPitch;
            g.setColour (Colour (0xff240a04).withAlpha (0.6f));
            g.fillRect (bar.getX() + 3.0f, gy - 1.2f, bar.getWidth() - 6.0f, 2.4f);
            g.setColour (juce::Colours::white.withAlpha (0.10f));
            g.fillRect (bar.getX() + 3.0f, gy + 1.6f, bar.getWidth() - 6.0f, 1.2f);
        }

        g.setColour (Colour (0xff2a0e06).withAlpha (0.8f));
        g.drawRoundedRectangle (bar.reduced (0.5f), 16.0f, 1.2f);
    }

    // Strap with a shadow on the wood
    juce::Rectangle<float> strap (strapLeft, strapTop, strapRight - strapLeft, strapBottom - strapTop);
    Path strapPath;
    strapPath.addRoundedRectangle (strap, 9.0f);
    drawSoftShadow (g, strapPath, { 1.5f, 4.0f }, 5.0f, 0.6f);

    ValueNoise pores (31), creases (32);
    paintShaded (big, strapPath, (float) ss, [&] (float x, float y)
    {
        auto p = pores.at (x / 1.3f, y / 1.3f);
        auto cr = creases.fbm (x / 40.0f, y / 14.0f, 3);
        auto c = mixColour (Colour (0xff15301d), Colour (0xff26492f), 0.55f + cr * 0.8f);
        c = scaleBrightness (c, 1.0f + p * 0.10f);

        // padded profile: lit top edge, darker bottom edge
        auto v = (y - strapTop) / (strapBottom - strapTop);
        auto bulge = std::sin (pi * v);
        c = scaleBrightness (c, 0.72f + 0.38f * bulge);
        if (v < 0.35f)
            c = addLight (c, (0.35f - v) * 0.12f);

        return c;
    });

    // stitching near both long edges
    for (auto sy : { strapTop + 6.0f, strapBottom - 6.0f })
    {
        for (float sx = strapLeft + 50.0f; sx < strapRight - 16.0f; sx += 12.0f)
        {
            g.setColour (juce::Colours::black.withAlpha (0.5f));
            g.fillRoundedRectangle (sx - 0.5f, sy - 0.5f, 7.5f, 3.0f, 1.2f);
            g.setColour (Colour (0xffb8b090).withAlpha (0.75f));
            g.fillRoundedRectangle (sx, sy - 1.0f, 6.5f, 2.2f, 1.1f);
        }
    }

    g.setColour (juce::Colours::black.withAlpha (0.55f));
    g.drawRoundedRectangle (strap.reduced (0.5f), 9.0f, 1.2f);

    // Left end: a brass plate with two rivets through the strap
    {
        juce::Rectangle<float> plate (strapLeft + 6.0f, strapTop - 6.0f, 44.0f, strapBottom - strapTop + 12.0f);
        Path platePath;
        platePath.addRoundedRectangle (plate, 6.0f);
        drawSoftShadow (g, platePath, { 1.5f, 3.5f }, 4.0f, 0.6f);
        juce::ColourGradient brass (Colour (0xffd8c490), plate.getX(), plate.getY(),
                                    Colour (0xff6a5530), plate.getRight(), plate.getBottom(), false);
        brass.addColour (0.4, Colour (0xffa88c58));
        g.setGradientFill (brass);
        g.fillPath (platePath);
        g.setColour (juce::Colours::white.withAlpha (0.35f));
        g.drawLine (plate.getX() + 5.0f, plate.getY() + 1.5f, plate.getRight() - 5.0f, plate.getY() + 1.5f, 1.2f);
        g.setColour (Colour (0xff3a2c14));
        g.drawRoundedRectangle (plate, 6.0f, 1.0f);

        drawRivet (g, { plate.getCentreX(), strapTop + 12.0f }, 8.0f);
        drawRivet (g, { plate.getCentreX(), strapBottom - 12.0f }, 8.0f);
    }

    // Right end: steel clamp bar on the strap, springs to a post on the bar
    {
        const float springY1 = strapTop + 13.0f, springY2 = strapBottom - 13.0f;
        const float clampX = strapRight - 18.0f, postX = 1284.0f;

        juce::Rectangle<float> post (postX - 12.0f, strapTop - 14.0f, 24.0f, strapBottom - strapTop + 28.0f);
        Path postPath;
        postPath.addRoundedRectangle (post, 7.0f);
        drawSoftShadow (g, postPath, { 2.0f, 4.0f }, 5.0f, 0.6f);
        juce::ColourGradient steel (Colour (0xffe8e8e4), post.getX(), post.getY(),
                                    Colour (0xff4a4a48), post.getRight(), post.getBottom(), false);
        steel.addColour (0.5, Colour (0xff9a9a96));
        g.setGradientFill (steel);
        g.fillPath (postPath);
        g.setColour (Colour (0xff202020));
        g.drawRoundedRectangle (post, 7.0f, 1.0f);
        drawRivet (g, { postX, post.getY() + 10.0f }, 5.5f);
        drawRivet (g, { postX, post.getBottom() - 10.0f }, 5.5f);

        for (auto sy : { springY1, springY2 })
        {
            // spring shadow on the wood
            g.setColour (juce::Colours::black.withAlpha (0.35f));
            g.fillRoundedRectangle (clampX + 6.0f, sy + 5.0f, postX - clampX - 14.0f, 9.0f, 4.5f);
            drawSpring (g, clampX + 8.0f, postX - 9.0f, sy, 8.0f, 16, 2.6f);
        }

        juce::Rectangle<float> clamp (clampX - 8.0f, strapTop - 7.0f, 18.0f, strapBottom - strapTop + 14.0f);
        Path clampPath;
        clampPath.addRoundedRectangle (clamp, 5.0f);
        drawSoftShadow (g, clampPath, { 1.5f, 3.5f }, 4.0f, 0.6f);
        juce::ColourGradient chrome (Colour (0xfff4f4f0), clamp.getX(), clamp.getY(),
                                     Colour (0xff3c3c3a), clamp.getRight(), clamp.getBottom(), false);
        chrome.addColour (0.35, Colour (0xffb0b0ac));
        chrome.addColour (0.6, Colour (0xff6a6a66));
        g.setGradientFill (chrome);
        g.fillPath (clampPath);
        g.setColour (Colour (0xff1a1a1a));
        g.drawRoundedRectangle (clamp, 5.0f, 1.0f);
        drawRivet (g, { clamp.getCentreX(), springY1 }, 4.5f);
        drawRivet (g, { clamp.getCentreX(), springY2 }, 4.5f);
    }

    return downsample (big, ss);
}

//==============================================================================
// Glossy round button: domed cap, dark groove, raised rim, sheen upper left.
Image makeRoundButton (Colour base, float glossLevel)
{
    constexpr int size = 425, ss = 2;
    const float c = size * 0.5f;
    const float capR = 166.0f, grooveR = 176.0f, rimR = 204.0f;
    Image big (Image::ARGB, size * ss, size * ss, true);

    {
        juce::Graphics g (big);
        g.addTransform (juce::AffineTransform::scale ((float) ss));
        Path disc;
        disc.addEllipse (c - rimR, c - rimR, rimR * 2.0f, rimR * 2.0f);
        drawSoftShadow (g, disc, { 3.0f, 7.0f }, 8.0f, 0.5f);
    }

    // radial height profile -> normal -> light
    auto profileSlope = [&] (float r)
    {
        if (r < capR - 14.0f)
            return r / (capR - 14.0f) * 0.22f;                          // gentle dome
        if (r < grooveR)
            return 0.22f + (r - (capR - 14.0f)) / (grooveR - capR + 14.0f) * 1.6f; // rolls into the groove
        auto mid = (grooveR + rimR) * 0.5f, half = (rimR - grooveR) * 0.5f;
        auto u = juce::jlimit (-0.9f, 0.9f, (r - mid) / half);
        return 1.4f * u / std::sqrt (1.0f - u * u);                      // torus-shaped rim
    };

    Path disc;
    disc.addEllipse (c - rimR, c - rimR, rimR * 2.0f, rimR * 2.0f);

    paintShaded (big, disc, (float) ss, [&] (float x, float y)
    {
        auto dx = x - c, dy = y - c;
        auto r = std::sqrt (dx * dx + dy * dy) + 1.0e-4f;
        auto s = profileSlope (r);
        auto n = Vec3 { s * dx / r, s * dy / r, 1.0f }.normalised();

        auto diffuse = juce::jmax (0.0f, n.dot (lightDir));
        auto highlight = std::pow (juce::jmax (0.0f, n.dot (halfVector)), r < grooveR ? 45.0f : 22.0f);
        auto shade = 0.35f + 0.8f * diffuse;

        auto col = scaleBrightness (base, shade);

        if (r > capR - 4.0f && r < grooveR + 4.0f)
        {
            auto groove = 1.0f - std::abs (r - (capR + grooveR) * 0.5f) / ((grooveR - capR) * 0.5f + 4.0f);
            col = scaleBrightness (col, 1.0f - 0.75f * juce::jmax (0.0f, groove));
        }

        return addLight (col, highlight * glossLevel);
    });

    juce::Graphics g (big);
    g.addTransform (juce::AffineTransform::scale ((float) ss));

    Path capClip;
    capClip.addEllipse (c - capR + 6.0f, c - capR + 6.0f, (capR - 6.0f) * 2.0f, (capR - 6.0f) * 2.0f);
    g.saveState();
    g.reduceClipRegion (capClip);

    // white sheen on the upper left: a soft glow plus a crisp window reflection that fades out downwards
    {
        juce::ColourGradient glow (juce::Colours::white.withAlpha (0.18f * glossLevel + 0.04f), c - capR * 0.42f, c - capR * 0.5f,
                                   juce::Colours::white.withAlpha (0.0f), c - capR * 0.42f + capR * 0.85f, c - capR * 0.5f, true);
        g.setGradientFill (glow);
        g.fillPath (capClip);

        juce::Rectangle<float> window (c - capR * 0.78f, c - capR * 0.86f, capR * 1.22f, capR * 0.86f);
        juce::ColourGradient reflection (juce::Colours::white.withAlpha (0.45f * glossLevel + 0.05f), c - capR * 0.45f, window.getY(),
                                         juce::Colours::white.withAlpha (0.0f), c - capR * 0.05f, window.getBottom() - capR * 0.05f, false);
        g.setGradientFill (reflection);
        g.fillEllipse (window);

        // light bounced back from the panel onto the lower cap
        juce::ColourGradient bounce (juce::Colours::white.withAlpha (0.16f), c, c + capR * 1.05f,
                                     juce::Colours::white.withAlpha (0.0f), c, c + capR * 0.35f, true);
        g.setGradientFill (bounce);
        g.fillPath (capClip);
    }

    g.restoreState();

    // glint on the rim and a dark outer edge, both broad so that they survive
    // being drawn at a twelfth of their size
    {
        auto rr = (grooveR + rimR) * 0.5f - 3.0f;

        for (int i = 0; i < 4; ++i)
        {
            Path arc;
            auto spread = 0.12f * (float) i;
            arc.addCentredArc (c, c, rr, rr, 0.0f, -1.5f - spread, -0.4f + spread, true);
            g.setColour (juce::Colours::white.withAlpha ((0.3f * glossLevel + 0.08f) / (float) (i + 1)));
            g.strokePath (arc, juce::PathStrokeType (9.0f - 1.5f * (float) i, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
        }

        g.setColour (juce::Colours::black.withAlpha (0.45f));
        g.drawEllipse (c - rimR + 3.0f, c - rimR + 3.0f, (rimR - 3.0f) * 2.0f, (rimR - 3.0f) * 2.0f, 6.0f);
    }

    return downsample (big, ss);
}

//==============================================================================
// Chrome bat-handle toggle on a hexagonal nut; leverUp picks the frame.
Path makePolygon (float cx, float cy, float radius, int sides, float startAngle)
{
    Path p;

    for (int i = 0; i < sides; ++i)
    {
        auto a = startAngle + (float) i * 2.0f * pi / (float) sides;
        juce::Point<float> v (cx + radius * std::cos (a), cy + radius * std::sin (a));

        if (i == 0)
            p.startNewSubPath (v);
        else
            p.lineTo (v);
    }

    p.closeSubPath();
    return p;
}

// How much a surface tilted towards the given screen angle faces the light.
float facing (float angle, float tilt)
{
    auto n = Vec3 { std::cos (angle) * tilt, std::sin (angle) * tilt, 1.0f }.normalised();
    return juce::jmax (0.0f, n.dot (lightDir));
}

void drawLeverFrame (juce::Graphics& g, float cx, float cy, bool leverUp)
{
    // Compact, so that the labels printed above the switches stay clear of the raised lever.
    const float nutR = 12.5f, topR = nutR * 0.74f;

    // dark washer under the nut
    Path washer;
    washer.addEllipse (cx - nutR - 3.5f, cy - nutR - 3.5f, (nutR + 3.5f) * 2.0f, (nutR + 3.5f) * 2.0f);
    drawSoftShadow (g, washer, { 1.0f, 2.2f }, 2.5f, 0.65f);
    juce::ColourGradient washerGrad (Colour (0xff8a8a86), cx - nutR, cy - nutR,
                                     Colour (0xff1e1e1e), cx + nutR, cy + nutR, false);
    g.setGradientFill (washerGrad);
    g.fillPath (washer);
    g.setColour (juce::Colours::black.withAlpha (0.7f));
    g.strokePath (washer, juce::PathStrokeType (0.5f));

    // hexagon: six chamfer facets, each lit by the way it faces, around a flat top
    const float start = pi / 6.0f;
    auto hex = makePolygon (cx, cy, nutR, 6, start);
    drawSoftShadow (g, hex, { 0.8f, 1.6f }, 1.5f, 0.5f, 4);

    for (int i = 0; i < 6; ++i)
    {
        auto a0 = start + (float) i * pi / 3.0f, a1 = a0 + pi / 3.0f;
        Path facet;
        facet.startNewSubPath (cx + nutR * std::cos (a0), cy + nutR * std::sin (a0));
        facet.lineTo (cx + nutR * std::cos (a1), cy + nutR * std::sin (a1));
        facet.lineTo (cx + topR * std::cos (a1), cy + topR * std::sin (a1));
        facet.lineTo (cx + topR * std::cos (a0), cy + topR * std::sin (a0));
        facet.closeSubPath();

        auto lit = facing ((a0 + a1) * 0.5f, 0.9f);
        g.setColour (mixColour (Colour (0xff1c1c1c), Colour (0xfff2f2ee), std::pow (lit, 1.6f)));
        g.fillPath (facet);
    }

    auto top = makePolygon (cx, cy, topR, 6, start);
    juce::ColourGradient topGrad (Colour (0xffcfcfcb), cx - topR, cy - topR,
                                  Colour (0xff55554f), cx + topR * 0.8f, cy + topR * 0.8f, false);
    topGrad.addColour (0.45, Colour (0xff9a9a96));
    g.setGradientFill (topGrad);
    g.fillPath (top);
    g.setColour (juce::Colours::black.withAlpha (0.85f));
    g.strokePath (hex, juce::PathStrokeType (0.6f));
    g.setColour (juce::Colours::black.withAlpha (0.35f));
    g.strokePath (top, juce::PathStrokeType (0.4f));

    // threaded bushing with its hole
    {
        const float br = 6.2f;
        juce::ColourGradient bush (Colour (0xff3c3c3a), cx - br, cy - br,
                                   Colour (0xffe8e8e4), cx + br * 0.7f, cy + br * 0.7f, false);
        g.setGradientFill (bush);
        g.fillEllipse (cx - br, cy - br, br * 2.0f, br * 2.0f);

        for (float r = br - 1.1f; r > 3.6f; r -= 1.2f)
        {
            g.setColour (juce::Colours::black.withAlpha (0.4f));
            g.drawEllipse (cx - r, cy - r, r * 2.0f, r * 2.0f, 0.45f);
        }

        g.setColour (juce::Colours::black.withAlpha (0.8f));
        g.drawEllipse (cx - br, cy - br, br * 2.0f, br * 2.0f, 0.5f);
        g.setColour (Colour (0xff080808));
        g.fillEllipse (cx - 3.5f, cy - 3.5f, 7.0f, 7.0f);
    }

    // the lever comes towards the viewer: thin at the pivot, a wide rounded bat at the tip
    const float dir = leverUp ? -1.0f : 1.0f;
    const float tipY = cy + dir * 13.0f;

    auto makeLever = [&] (float ox, float oy)
    {
        const float baseW = 2.9f, tipW = 5.4f, tipLen = 5.0f;
        Path p;
        p.startNewSubPath (cx - baseW + ox, cy + oy);
        p.lineTo (cx - tipW + ox, tipY - dir * tipLen + oy);
        p.cubicTo (cx - tipW + ox, tipY + dir * 2.2f + oy, cx - tipW * 0.6f + ox, tipY + dir * 4.6f + oy, cx + ox, tipY + dir * 4.6f + oy);
        p.cubicTo (cx + tipW * 0.6f + ox, tipY + dir * 4.6f + oy, cx + tipW + ox, tipY + dir * 2.2f + oy, cx + tipW + ox, tipY - dir * tipLen + oy);
        p.lineTo (cx + baseW + ox, cy + oy);
        p.closeSubPath();
        return p;
    };

    // the shadow lands down-right, longer when the lever leans down towards the light's far side
    drawSoftShadow (g, makeLever (2.6f, leverUp ? 3.0f : 5.0f), {}, 2.2f, 0.6f, 6);

    auto lever = makeLever (0.0f, 0.0f);
    juce::ColourGradient chrome (Colour (0xff1a1a1a), cx - 5.6f, 0.0f, Colour (0xff262626), cx + 5.6f, 0.0f, false);
    chrome.addColour (0.12, Colour (0xff6a6a68));
    chrome.addColour (0.27, Colour (0xffffffff));
    chrome.addColour (0.40, Colour (0xffb4b4b0));
    chrome.addColour (0.56, Colour (0xff30302e));
    chrome.addColour (0.74, Colour (0xff8c8c88));
    chrome.addColour (0.86, Colour (0xffd8d8d4));
    g.setGradientFill (chrome);
    g.fillPath (lever);

    // the bat end is rounder and catches the light on its upper left
    g.saveState();
    g.reduceClipRegion (lever);
    juce::ColourGradient tip (juce::Colours::white.withAlpha (0.9f), cx - 2.0f, tipY - 0.5f,
                              juce::Colours::white.withAlpha (0.0f), cx + 1.5f, tipY + 3.5f, true);
    g.setGradientFill (tip);
    g.fillEllipse (cx - 6.0f, tipY - 5.0f, 12.0f, 10.0f);
    g.restoreState();

    g.setColour (juce::Colours::black.withAlpha (0.8f));
    g.strokePath (lever, juce::PathStrokeType (0.55f));

    // collar where the lever leaves the bushing
    juce::ColourGradient collar (Colour (0xfff4f4f0), cx - 3.0f, cy - 3.0f, Colour (0xff2a2a2a), cx + 3.0f, cy + 3.0f, false);
    g.setGradientFill (collar);
    g.fillEllipse (cx - 3.6f, cy - 3.6f, 7.2f, 7.2f);
    g.setColour (juce::Colours::black.withAlpha (0.7f));
    g.drawEllipse (cx - 3.6f, cy - 3.6f, 7.2f, 7.2f, 0.4f);
}

Image makeLeverSwitch()
{
    constexpr int frame = 56, ss = 8;
    Image strip (Image::ARGB, frame, frame * 2, true);

    for (int i = 0; i < 2; ++i)
    {
        Image big (Image::ARGB, frame * ss, frame * ss, true);
        {
            juce::Graphics g (big);
            g.addTransform (juce::AffineTransform::scale ((float) ss));
            drawLeverFrame (g, 28.0f, 28.0f, i == 1);
        }

        juce::Graphics g (strip);
        g.drawImageAt (downsample (big, ss), 0, i * frame);
    }

    return strip;
}

//==============================================================================
// Black knob: knurled skirt, chamfered cap, white pointer. Only the pointer
// turns; the light stays where it is.
Image makeKnobBase (int ss)
{
    const float c = 50.0f, skirtR = 45.0f, capR = 35.0f, chamfer = 3.0f;
    Image big (Image::ARGB, 100 * ss, 100 * ss, true);

    {
        juce::Graphics g (big);
        g.addTransform (juce::AffineTransform::scale ((float) ss));
        Path disc;
        disc.addEllipse (c - skirtR, c - skirtR, skirtR * 2.0f, skirtR * 2.0f);
        drawSoftShadow (g, disc, { 0.8f, 2.2f }, 2.8f, 0.7f);
    }

    Path disc;
    disc.addEllipse (c - skirtR, c - skirtR, skirtR * 2.0f, skirtR * 2.0f);
    ValueNoise speck (41);
    constexpr int ridges = 56;

    paintShaded (big, disc, (float) ss, [&] (float x, float y)
    {
        auto dx = x - c, dy = y - c;
        auto r = std::sqrt (dx * dx + dy * dy) + 1.0e-4f;
        auto ux = dx / r, uy = dy / r;
        Vec3 n { 0.0f, 0.0f, 1.0f };
        float albedo = 0.05f, shininess = 30.0f, specGain = 0.55f;

        if (r > capR)
        {
            // skirt slopes down and out; ridges tilt the normal sideways
            auto a = std::atan2 (dy, dx);
            auto phase = a * (float) ridges / (2.0f * pi);
            auto ridge = std::sin (2.0f * pi * phase);
            auto outward = 0.55f + 1.8f * std::pow ((r - capR) / (skirtR - capR), 3.0f);
            auto side = 0.75f * ridge;
            n = Vec3 { ux * outward - uy * side, uy * outward + ux * side, 1.0f }.normalised();
            albedo = 0.06f + 0.02f * std::abs (ridge);
            shininess = 16.0f;
            specGain = 0.6f;
        }
        else if (r > capR - chamfer)
        {
            auto t = (r - (capR - chamfer)) / chamfer;
            auto slope = 0.4f + 0.9f * t;
            n = Vec3 { ux * slope, uy * slope, 1.0f }.normalised();
            shininess = 50.0f;
            specGain = 1.1f;
        }
        else
        {
            // faintly dished top with fine spun rings
            auto ring = std::sin (r * 2.0f * pi / 0.9f) * 0.02f;
            auto dish = -0.05f * r / capR;
            n = Vec3 { ux * (dish + ring), uy * (dish + ring), 1.0f }.normalised();
            albedo = 0.045f + speck.at (x * 2.0f, y * 2.0f) * 0.006f;
            shininess = 12.0f;
            specGain = 0.22f;
        }

        auto diffuse = juce::jmax (0.0f, n.dot (lightDir));
        auto highlight = std::pow (juce::jmax (0.0f, n.dot (halfVector)), shininess) * specGain;
        auto v = juce::jlimit (0.0f, 1.0f, 0.02f + albedo * (0.4f + diffuse) + highlight);
        auto level = (juce::uint8) juce::roundToInt (v * 255.0f);
        return Colour (level, level, (juce::uint8) juce::jmin (255, level + 2), (juce::uint8) 255);
    });

    juce::Graphics g (big);
    g.addTransform (juce::AffineTransform::scale ((float) ss));

    // broad soft reflection on the cap's upper left
    juce::ColourGradient sheen (juce::Colours::white.withAlpha (0.13f), c - 14.0f, c - 16.0f,
                                juce::Colours::white.withAlpha (0.0f), c + 8.0f, c + 10.0f, true);
    g.setGradientFill (sheen);
    g.fillEllipse (c - capR + chamfer, c - capR + chamfer, (capR - chamfer) * 2.0f, (capR - chamfer) * 2.0f);

    g.setColour (juce::Colours::black.withAlpha (0.9f));
    g.drawEllipse (c - capR, c - capR, capR * 2.0f, capR * 2.0f, 0.6f);
    g.drawEllipse (c - skirtR + 0.3f, c - skirtR + 0.3f, (skirtR - 0.3f) * 2.0f, (skirtR - 0.3f) * 2.0f, 0.6f);

    return big;
}

Image makeKnobStrip()
{
    constexpr int frames = 100, size = 100, ss = 4;
    constexpr float stepDegrees = 2.7f;   // frame 0 at -135 degrees, frame 50 straight up
    const auto base = makeKnobBase (ss);
    Image strip (Image::ARGB, size, size * frames, true);
    juce::Graphics out (strip);

    for (int f = 0; f < frames; ++f)
    {
        auto big = base.createCopy();
        {
            juce::Graphics g (big);
            g.addTransform (juce::AffineTransform::scale ((float) ss));
            auto angle = juce::degreesToRadians ((float) (f - 50) * stepDegrees);
            auto turn = juce::AffineTransform::rotation (angle, 50.0f, 50.0f);

            Path pointer;
            pointer.addRoundedRectangle (48.3f, 17.5f, 3.4f, 21.0f, 1.7f);

            // engraved: a dark groove with the white fill inside it
            Path groove;
            groove.addRoundedRectangle (47.6f, 16.8f, 4.8f, 22.4f, 2.4f);
            g.setColour (juce::Colours::black.withAlpha (0.8f));
            g.fillPath (groove, turn);
            g.setColour (Colour (0xfff4f4f0));
            g.fillPath (pointer, turn);

            // the light side of the line, fixed in screen space
            juce::ColourGradient lit (juce::Colours::white, 30.0f, 20.0f, Colour (0xffc8c8c4), 70.0f, 80.0f, false);
            g.setGradientFill (lit);
            g.setOpacity (0.35f);
            g.fillPath (pointer, turn);

            // fine tick on the skirt edge
            Path tick;
            tick.addRoundedRectangle (49.2f, 6.2f, 1.6f, 4.0f, 0.8f);
            g.setColour (juce::Colours::white.withAlpha (0.8f));
            g.fillPath (tick, turn);
        }

        out.drawImageAt (downsample (big, ss), 0, f * size);
    }

    return strip;
}

//==============================================================================
bool writeImage (const Image& img, const juce::File& file, juce::ImageFileFormat& format)
{
    file.deleteFile();
    juce::FileOutputStream stream (file);

    if (! stream.openedOk() || ! format.writeImageToStream (img, stream))
    {
        std::cerr << "could not write " << file.getFullPathName() << std::endl;
        return false;
    }

    stream.flush();
    std::cout << file.getFileName() << "  " << img.getWidth() << " x " << img.getHeight()
              << "  " << stream.getPosition() << " bytes" << std::endl;
    return true;
}
} // namespace

int main (int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juceInit;

    auto dir = argc > 1 ? juce::File::getCurrentWorkingDirectory().getChildFile (argv[1])
                        : juce::File::getCurrentWorkingDirectory().getChildFile ("resources");

    if (! dir.createDirectory())
    {
        std::cerr << "cannot create " << dir.getFullPathName() << std::endl;
        return 1;
    }

    juce::PNGImageFormat png;
    juce::JPEGImageFormat jpeg;
    jpeg.setQuality (0.85f);

    bool ok = writeImage (makePanelBackground(), dir.getChildFile ("panel_background.jpg"), jpeg);
    ok = writeImage (makeRibbon(), dir.getChildFile ("ribbon.png"), png) && ok;
    ok = writeImage (makeRoundButton (Colour (0xff858583), 0.55f), dir.getChildFile ("button_grey.png"), png) && ok;
    ok = writeImage (makeRoundButton (Colour (0xff1e1e1f), 0.9f), dir.getChildFile ("button_black.png"), png) && ok;
    ok = writeImage (makeLeverSwitch(), dir.getChildFile ("lever_switch.png"), png) && ok;
    ok = writeImage (makeKnobStrip(), dir.getChildFile ("knob_strip.png"), png) && ok;

    return ok ? 0 : 1;
}
