#include "sceneapi/KXImageResizer.h"

#include "sceneapi/KXImageCodec.h"
#include "sceneapi/KXImageUtils.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <new>
#include <utility>
#include <vector>

namespace {

// The source pixels that make one target pixel along an axis, with weights
// summing to 1.
struct Contribution {
    unsigned first = 0;
    std::vector<float> weights;
};

std::vector<Contribution> computeContributions(unsigned sourceSize, unsigned targetSize)
{
    std::vector<Contribution> result(targetSize);
    const double scale = static_cast<double>(sourceSize) / targetSize;
    for (unsigned i = 0; i < targetSize; ++i) {
        Contribution& c = result[i];
        if (targetSize < sourceSize) {
            // Box: the target pixel covers [i, i + 1) × scale of the source.
            const double begin = i * scale;
            const double end = (i + 1) * scale;
            c.first = static_cast<unsigned>(begin);
            const unsigned last = std::min(sourceSize - 1, static_cast<unsigned>(std::ceil(end)) - 1);
            for (unsigned k = c.first; k <= last; ++k) {
                const double overlap = std::min(end, k + 1.0) - std::max(begin, static_cast<double>(k));
                c.weights.push_back(static_cast<float>(std::max(0.0, overlap) / scale));
            }
        } else {
            // Linear between the centres of the two nearest source pixels;
            // beyond the outer centres the edge pixel is repeated.
            double x = (i + 0.5) * scale - 0.5;
            x = std::clamp(x, 0.0, static_cast<double>(sourceSize - 1));
            c.first = static_cast<unsigned>(x);
            const float fraction = static_cast<float>(x - c.first);
            c.weights.push_back(1.0f - fraction);
            if (c.first + 1 < sourceSize && fraction > 0.0f)
                c.weights.push_back(fraction);
        }
        // Renormalise so that a constant image stays exactly constant.
        float sum = 0.0f;
        for (float w : c.weights)
            sum += w;
        for (float& w : c.weights)
            w /= sum;
    }
    return result;
}

// A source row scaled horizontally, premultiplied, four floats a pixel.
using FloatRow = std::vector<float>;

void scaleRowHorizontally(const KXRawImage2D& source, unsigned y, const std::vector<Contribution>& columns,
                          std::vector<unsigned char>& rgba, FloatRow& out)
{
    kxcodec::loadRowRGBA(source, y, rgba.data());
    out.assign(columns.size() * 4, 0.0f);
    for (size_t i = 0; i < columns.size(); ++i) {
        const Contribution& c = columns[i];
        float r = 0, g = 0, b = 0, a = 0;
        for (size_t k = 0; k < c.weights.size(); ++k) {
            const unsigned char* p = rgba.data() + static_cast<size_t>(c.first + k) * 4;
            const float wa = c.weights[k] * p[3];
            r += wa * p[0];
            g += wa * p[1];
            b += wa * p[2];
            a += wa;
        }
        out[i * 4] = r;
        out[i * 4 + 1] = g;
        out[i * 4 + 2] = b;
        out[i * 4 + 3] = a;
    }
}

unsigned char toByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<unsigned char>(v + 0.5f);
}

} // namespace

int KXImageResizer::resize(const KXRawImage2D& source, int width, int height, KXRawImage2D& destination)
{
    if (&source == &destination || width < 1 || height < 1 || !source.hasData())
        return -1;
    try {
        KXRawImage2D scaled(static_cast<unsigned>(width), static_cast<unsigned>(height), source.getFormat(),
                            destination.getFragmentLimit());
        if (scaled.createData() != 0)
            return -1;
        const std::vector<Contribution> columns = computeContributions(source.getWidth(), scaled.getWidth());
        const std::vector<Contribution> rows = computeContributions(source.getHeight(), scaled.getHeight());

        // Rows are scaled horizontally once each, as the target rows first
        // need them, and dropped when no later target row uses them: the
        // rows of a target row never start before those of the previous one.
        std::deque<std::pair<unsigned, FloatRow>> window;
        std::vector<unsigned char> sourceRGBA(source.getRowSize());
        std::vector<unsigned char> targetRGBA(scaled.getRowSize());
        std::vector<float> sum(static_cast<size_t>(width) * 4);
        for (unsigned y = 0; y < scaled.getHeight(); ++y) {
            const Contribution& c = rows[y];
            while (!window.empty() && window.front().first < c.first)
                window.pop_front();
            const unsigned last = c.first + static_cast<unsigned>(c.weights.size()) - 1;
            for (unsigned k = window.empty() ? c.first : window.back().first + 1; k <= last; ++k) {
                window.emplace_back(k, FloatRow());
                scaleRowHorizontally(source, k, columns, sourceRGBA, window.back().second);
            }
            std::fill(sum.begin(), sum.end(), 0.0f);
            for (size_t k = 0; k < c.weights.size(); ++k) {
                const FloatRow& row = window[k].second;
                for (size_t i = 0; i < sum.size(); ++i)
                    sum[i] += c.weights[k] * row[i];
            }
            // Back from premultiplied alpha; alpha itself is in 0..255 units.
            for (size_t i = 0; i < sum.size(); i += 4) {
                const float a = sum[i + 3];
                if (a > 0.0f) {
                    targetRGBA[i] = toByte(sum[i] / a);
                    targetRGBA[i + 1] = toByte(sum[i + 1] / a);
                    targetRGBA[i + 2] = toByte(sum[i + 2] / a);
                } else {
                    targetRGBA[i] = targetRGBA[i + 1] = targetRGBA[i + 2] = 0;
                }
                targetRGBA[i + 3] = toByte(a);
            }
            kxcodec::storeRowRGBA(scaled, y, targetRGBA.data());
        }
        destination = std::move(scaled);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int KXImageResizer::resize(const wchar_t* sourcePath, int width, int height, const wchar_t* destinationPath)
{
    if (!sourcePath || !destinationPath)
        return -3;
    KXRawImage2D source;
    int result = KXImageUtils::loadRawImage2DFromFile(sourcePath, &source);
    if (result != 0)
        return result;
    KXRawImage2D scaled;
    result = resize(source, width, height, scaled);
    if (result != 0)
        return result;
    return KXImageUtils::saveRawImage2DToFile(&scaled, destinationPath, FILE_QUALITY);
}
