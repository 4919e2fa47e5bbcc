#include "editor/EmbeddedImages.h"

#include "core/Resources.h"

#include <cmath>
#include <vector>

namespace oxlade
{
JUCE_IMPLEMENT_SINGLETON (EmbeddedImages)

EmbeddedImages::~EmbeddedImages() { clearSingletonInstance(); }

juce::Image EmbeddedImages::get (const char* resourceName)
{
    auto& images = getInstance()->decoded;
    if (auto it = images.find (resourceName); it != images.end())
        return it->second;

    juce::Image image;
    const auto resource = getEmbeddedResource (resourceName);
    if (resource.data != nullptr && resource.size > 0)
        image = juce::ImageFileFormat::loadFrom (resource.data, resource.size);
    if (image.isValid() && image.getFormat() != juce::Image::ARGB)
        image = image.convertedToFormat (juce::Image::ARGB);
    images[resourceName] = image;
    return image;
}

juce::Image EmbeddedImages::getThresholded (const char* resourceName)
{
    auto& images = getInstance()->thresholded;
    if (auto it = images.find (resourceName); it != images.end())
        return it->second;

    juce::Image result;
    if (const auto source = get (resourceName); source.isValid())
    {
        result = source.createCopy();
        juce::Image::BitmapData data (result, juce::Image::BitmapData::readWrite);
        for (int y = 0; y < data.height; ++y)
            for (int x = 0; x < data.width; ++x)
                if (auto* p = reinterpret_cast<juce::PixelARGB*> (data.getPixelPointer (x, y)); p->getAlpha() < 180)
                    p->setARGB (0, 0, 0, 0);
    }
    images[resourceName] = result;
    return result;
}

namespace
{
    /** Weights of a one-dimensional resampling from n source samples to m output samples: for each
        output sample, the first source index and its weights (summing to 1). */
    struct Kernel
    {
        std::vector<int> first;
        std::vector<std::vector<float>> weights;
    };

    Kernel makeKernel (int n, int m)
    {
        Kernel k;
        k.first.resize ((size_t) m);
        k.weights.resize ((size_t) m);
        const double ratio = (double) n / (double) m;

        for (int i = 0; i < m; ++i)
        {
            auto& w = k.weights[(size_t) i];
            if (ratio >= 1.0)
            {
                // Area average: output sample i covers source [i ratio, (i + 1) ratio).
                const double a = i * ratio, b = (i + 1) * ratio;
                const int j0 = (int) std::floor (a);
                const int j1 = juce::jmin (n - 1, (int) std::ceil (b) - 1);
                k.first[(size_t) i] = j0;
                for (int j = j0; j <= j1; ++j)
                    w.push_back ((float) ((juce::jmin (b, (double) j + 1.0) - juce::jmax (a, (double) j)) / ratio));
            }
            else
            {
                // Linear interpolation between the two nearest source centres.
                const double centre = juce::jlimit (0.0, (double) (n - 1), (i + 0.5) * ratio - 0.5);
                const int j0 = juce::jmin ((int) std::floor (centre), juce::jmax (n - 2, 0));
                const double f = centre - j0;
                k.first[(size_t) i] = j0;
                w.push_back ((float) (1.0 - f));
                if (n > 1)
                    w.push_back ((float) f);
            }
        }
        return k;
    }
} // namespace

juce::Image EmbeddedImages::resample (const juce::Image& src, juce::Rectangle<int> area, int width, int height)
{
    area = area.getIntersection (src.getBounds());
    if (!src.isValid() || area.isEmpty() || width < 1 || height < 1)
        return {};

    auto source = src.getFormat() == juce::Image::ARGB ? src : src.convertedToFormat (juce::Image::ARGB);
    const int sw = area.getWidth(), sh = area.getHeight();
    const auto kx = makeKernel (sw, width), ky = makeKernel (sh, height);

    // Horizontal pass into a float buffer of sh rows × width columns (premultiplied ARGB).
    std::vector<float> rows ((size_t) sh * (size_t) width * 4);
    {
        const juce::Image::BitmapData in (source, area.getX(), area.getY(), sw, sh, juce::Image::BitmapData::readOnly);
        for (int y = 0; y < sh; ++y)
            for (int x = 0; x < width; ++x)
            {
                float acc[4] = { 0, 0, 0, 0 };
                const auto& w = kx.weights[(size_t) x];
                for (size_t t = 0; t < w.size(); ++t)
                {
                    const auto* p = reinterpret_cast<const juce::PixelARGB*> (in.getPixelPointer (kx.first[(size_t) x] + (int) t, y));
                    acc[0] += w[t] * p->getAlpha();
                    acc[1] += w[t] * p->getRed();
                    acc[2] += w[t] * p->getGreen();
                    acc[3] += w[t] * p->getBlue();
                }
                std::copy (acc, acc + 4, rows.begin() + ((ptrdiff_t) y * width + x) * 4);
            }
    }

    juce::Image result (juce::Image::ARGB, width, height, true);
    juce::Image::BitmapData out (result, juce::Image::BitmapData::writeOnly);
    auto toByte = [] (float v) { return (juce::uint8) juce::jlimit (0, 255, (int) std::lround (v)); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            float acc[4] = { 0, 0, 0, 0 };
            const auto& w = ky.weights[(size_t) y];
            for (size_t t = 0; t < w.size(); ++t)
            {
                const float* p = rows.data() + ((ptrdiff_t) (ky.first[(size_t) y] + (int) t) * width + x) * 4;
                for (int c = 0; c < 4; ++c)
                    acc[c] += w[t] * p[c];
            }
            const auto a = toByte (acc[0]);
            // Premultiplied: no colour component may exceed alpha.
            reinterpret_cast<juce::PixelARGB*> (out.getPixelPointer (x, y))->setARGB (a, juce::jmin (a, toByte (acc[1])), juce::jmin (a, toByte (acc[2])), juce::jmin (a, toByte (acc[3])));
        }
    return result;
}
} // namespace oxlade
