#include "Engine/RunRecord.h"

#include <algorithm>

#include "Engine/JobSystem.h"

namespace ZandelleEngine {

Trade::ImageData ImageTiles::reduce(const Trade::ImageData& image) {
    /* Formats of one byte per component, in runs of four by channel count */
    const int format = int(image.format);
    if(format < 1 || format > 16 || (format > 4 && format < 9) || image.size.x < 1 || image.size.y < 1 ||
       image.data.size() < std::size_t(image.size.x)*image.size.y*Trade::pixelSize(image.format))
        return {};
    const int channels = (format - 1)%4 + 1;
    const int larger = std::max(image.size.x, image.size.y);
    Trade::ImageData out;
    out.format = Trade::PixelFormat(channels);
    out.size = larger <= ThumbnailSize ? image.size :
        glm::max(Vector2i{image.size.x*ThumbnailSize/larger, image.size.y*ThumbnailSize/larger}, Vector2i{1});
    out.data.resize(std::size_t(out.size.x)*out.size.y*channels);
    for(int y = 0; y != out.size.y; ++y) for(int x = 0; x != out.size.x; ++x) {
        /* The source area of this pixel, sampled on a grid of at most 4 x 4 */
        const int x0 = x*image.size.x/out.size.x, x1 = std::max((x + 1)*image.size.x/out.size.x, x0 + 1);
        const int y0 = y*image.size.y/out.size.y, y1 = std::max((y + 1)*image.size.y/out.size.y, y0 + 1);
        const int stepX = std::max((x1 - x0)/4, 1), stepY = std::max((y1 - y0)/4, 1);
        unsigned sums[4]{}, samples = 0;
        for(int sy = y0; sy < y1; sy += stepY) for(int sx = x0; sx < x1; sx += stepX) {
            const std::uint8_t* pixel = image.data.data() + (std::size_t(sy)*image.size.x + sx)*channels;
            for(int c = 0; c != channels; ++c) sums[c] += pixel[c];
            ++samples;
        }
        for(int c = 0; c != channels; ++c)
            out.data[(std::size_t(y)*out.size.x + x)*channels + c] = std::uint8_t((sums[c] + samples/2)/samples);
    }
    return out;
}

std::size_t ImageTiles::count(TileFate fate) const {
    return std::size_t(std::count(fates.begin(), fates.end(), fate));
}

RunRecord::RunRecord(): _start{std::chrono::steady_clock::now()} {}

double RunRecord::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - _start).count();
}

void RunRecord::addSpan(RunSpanKind kind, std::string label, double start) {
    RunSpan span{kind, JobSystem::workerId(), start, now(), std::move(label)};
    std::lock_guard<std::mutex> lock{_mutex};
    _spans.push_back(std::move(span));
}

void RunRecord::addImage(ImageTiles image) {
    std::lock_guard<std::mutex> lock{_mutex};
    auto found = std::find_if(_images.begin(), _images.end(), [&](const ImageTiles& i) { return i.key == image.key; });
    if(found == _images.end()) _images.push_back(std::move(image));
    else *found = std::move(image);
}

void RunRecord::count(CacheKind kind, CacheLevel level, CacheEvent event, std::uint32_t times) {
    std::lock_guard<std::mutex> lock{_mutex};
    CacheFigures& figures = _caches[std::size_t(kind)][std::size_t(level)];
    (event == CacheEvent::Hit ? figures.hits : event == CacheEvent::Miss ? figures.misses : figures.writes) += times;
}

void RunRecord::addLogLine(LogLevel level, std::string_view line) {
    if(level == LogLevel::Debug) return;
    std::string key{line};
    key += char('0' + int(level));
    std::lock_guard<std::mutex> lock{_mutex};
    const auto [found, added] = _lineIndex.try_emplace(std::move(key), _lines.size());
    if(added) _lines.push_back({level, std::string{line}, 1});
    else ++_lines[found->second].count;
}

std::vector<RunSpan> RunRecord::spans() const {
    std::lock_guard<std::mutex> lock{_mutex};
    return _spans;
}

std::vector<ImageTiles> RunRecord::images() const {
    std::lock_guard<std::mutex> lock{_mutex};
    return _images;
}

CacheFigures RunRecord::cache(CacheKind kind, CacheLevel level) const {
    std::lock_guard<std::mutex> lock{_mutex};
    return _caches[std::size_t(kind)][std::size_t(level)];
}

std::vector<RunLogLine> RunRecord::logLines() const {
    std::lock_guard<std::mutex> lock{_mutex};
    return _lines;
}

std::size_t RunRecord::lineCount(LogLevel level) const {
    std::lock_guard<std::mutex> lock{_mutex};
    std::size_t count = 0;
    for(const RunLogLine& l: _lines) if(l.level == level) count += l.count;
    return count;
}

}
