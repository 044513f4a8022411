#include "detection/spot_file.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "core/atomic_file.h"
#include "core/text.h"

namespace vistrel {

namespace {

// The text between the next start character and the following end character,
// from pos; an empty field takes the text up to the end character after it.
// The position moves to that end character. -DBL_MAX when a character is missing.
double Field(const std::string& line, std::size_t& pos, char start, char end) {
    const std::size_t a = line.find(start, pos);
    if (a == std::string::npos) return -DBL_MAX;
    std::size_t b = line.find(end, a + 1);
    if (b == std::string::npos) return -DBL_MAX;
    if (b == a + 1) {
        b = line.find(end, b + 1);
        if (b == std::string::npos) return -DBL_MAX;
    }
    const std::string text = line.substr(a + 1, b - a - 1);
    pos = b;
    char* stop = nullptr;
    const double v = std::strtod(text.c_str(), &stop);
    if (stop == text.c_str()) return -DBL_MAX;
    return v;
}

}  // namespace

std::string SpotFileName(const std::string& documentPath, const CSpotParams& p,
                         double threshold) {
    std::filesystem::path path(documentPath);
    const std::string stem = (path.parent_path() / path.stem()).string();
    std::string name = stem + Format(".spots.S%d_%d_%d_N%d_%d_", p.minScale, p.increment,
                                     p.maxScale, p.localMaxSide, p.searchSide);
    if (threshold != kNoSpotThreshold) name += Format("T%d", int(threshold));
    return name + ".cnd";
}

bool ParseSpotFileName(const std::string& path, CSpotParams& params) {
    std::string name = std::filesystem::path(path).filename().string();
    const std::size_t ext = name.rfind('.');
    if (ext != std::string::npos) name.erase(ext);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(0, dot + 1);
    const std::size_t s = name.find('S');
    if (s == std::string::npos) return false;
    std::size_t pos = s + 1;
    auto number = [&](char end, int& out) {
        const std::size_t e = name.find(end, pos);
        if (e == std::string::npos || e == pos) return false;
        out = std::atoi(name.substr(pos, e - pos).c_str());
        pos = e + 1;
        return true;
    };
    CSpotParams p;
    if (!number('_', p.minScale) || !number('_', p.increment) || !number('_', p.maxScale))
        return false;
    const std::size_t nAt = name.find('N', pos);
    if (nAt == std::string::npos) return false;
    pos = nAt + 1;
    if (!number('_', p.localMaxSide) || !number('_', p.searchSide)) return false;
    params = p;
    return true;
}

int SaveSpots(const std::string& path, const CSpotList& spots, CPoint offset, double threshold) {
    if (spots.Count() == 0) return 0;
    std::string text;
    int lines = 0;
    for (int32_t i = 0; i < spots.Count(); ++i) {
        const CPointResponse& s = spots[i];
        if (!(s.response >= threshold)) continue;
        const int scale = s.values.empty() ? 0 : int(s.values[kSpotScale]);
        text += Format("(%d, %d) %lf %d ", s.x + offset.x, s.y + offset.y, s.response, scale);
        for (std::size_t k = kSpotScale + 1; k < s.values.size(); ++k)
            text += Format("%8.8lf ", s.values[k]);
        text += "\n";
        ++lines;
    }
    const bool ok = WriteFileAtomically(path, [&](std::FILE* f) {
        return std::fwrite(text.data(), 1, text.size(), f) == text.size();
    });
    return ok ? lines : -1;
}

int LoadSpots(const std::string& path, CSpotList& spots, CPoint offset, int32_t width,
              int32_t height) {
    std::string text;
    if (!ReadWholeFile(path, text)) return -1;
    std::istringstream in(text);
    std::string line;
    int added = 0;
    CUniqueSpotAdder unique(spots);
    while (std::getline(in, line)) {
        std::size_t pos = 0;
        const double x = Field(line, pos, '(', ',');
        const double y = Field(line, pos, ',', ')');
        if (x == -DBL_MAX || y == -DBL_MAX || x == -1 || y == -1) continue;
        if (!(x >= offset.x && x < double(offset.x) + width && y >= offset.y &&
              y < double(offset.y) + height))
            continue;
        const double response = Field(line, pos, ' ', ' ');
        const double scale = Field(line, pos, ' ', ' ');
        if (response == -DBL_MAX || scale == -DBL_MAX) continue;
        Field(line, pos, ' ', ' ');  // the repeated response
        CPointResponse spot({int32_t(x) - offset.x, int32_t(y) - offset.y}, response, scale);
        spot.Append(response);
        for (;;) {
            const double v = Field(line, pos, ' ', ' ');
            if (v == -DBL_MAX) break;
            spot.Append(v);
        }
        added += unique.Add(std::move(spot)) ? 1 : 0;
    }
    return added;
}

std::unique_ptr<CMImage> SpotMarkImage(const CMImageBase& image, const CSpotList& spots,
                                       ESpotMark shape) {
    if (!image.IsValid()) return nullptr;
    auto marks = std::make_unique<CMImage>();
    if (!marks->Create(image.width, image.height, 1, 1)) return nullptr;
    const int32_t w = marks->width, h = marks->height;
    // Sets x0..x1 of row y, clipped to the image.
    auto span = [&](int64_t x0, int64_t x1, int64_t y) {
        if (y < 0 || y >= h) return;
        x0 = std::max<int64_t>(x0, 0);
        x1 = std::min<int64_t>(x1, w - 1);
        uint8_t* row = marks->Row(int32_t(y));
        for (int64_t x = x0; x <= x1; ++x) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    };
    for (int32_t i = 0; i < spots.Count(); ++i) {
        const CPointResponse& s = spots[i];
        span(s.x, s.x, s.y);
        if (shape == ESpotMark::kCrosses) {
            for (int dy = -1; dy <= 1; ++dy) span(int64_t(s.x) - 1, int64_t(s.x) + 1, s.y + dy);
        } else if (shape == ESpotMark::kCircles) {
            int size = 0;
            if (!s.values.empty()) {
                const double v = s.values[kSpotScale];
                size = v == -DBL_MAX ? 1 : int(std::clamp(v, -1e6, 1e6));
            }
            const int64_t half = size / 2;
            const double r2 = (size / 2.0) * (size / 2.0);
            // Only the rows on the image; in each, the run of dx in
            // [-half, half] with r2 >= dx^2 + dy^2 (found from the square
            // root, then settled by that very test).
            const int64_t dyFirst = std::max<int64_t>(-half, -int64_t(s.y));
            const int64_t dyLast = std::min<int64_t>(half, int64_t(h) - 1 - s.y);
            for (int64_t dy = dyFirst; dy <= dyLast; ++dy) {
                const double room = r2 - double(dy * dy);
                if (room < 0) continue;
                int64_t dx = std::min<int64_t>(half, int64_t(std::sqrt(room)) + 1);
                while (dx >= 0 && !(r2 >= double(dx * dx + dy * dy))) --dx;
                if (dx < 0) continue;
                span(int64_t(s.x) - dx, int64_t(s.x) + dx, int64_t(s.y) + dy);
            }
        }
    }
    return marks;
}

std::unique_ptr<CMImage> ClusterAreaImage(const CMImageBase& image, const CClusters& clusters) {
    if (!image.IsValid()) return nullptr;
    auto areas = std::make_unique<CMImage>();
    if (!areas->Create(image.width, image.height, 4, 1)) return nullptr;
    std::vector<CRect> rects;
    for (int32_t i = 0; i < clusters.Count(); ++i)
        if (const CCluster* c = clusters.At(i)) rects.push_back(c->Bounds());
    auto area = [](const CRect& r) { return int64_t(r.Width()) * r.Height(); };
    // Selection sort, largest first; the first of equal areas stays in front.
    for (std::size_t i = 0; i < rects.size(); ++i) {
        std::size_t best = i;
        for (std::size_t j = i + 1; j < rects.size(); ++j)
            if (area(rects[j]) > area(rects[best])) best = j;
        if (best != i) {
            const CRect r = rects[best];
            rects.erase(rects.begin() + std::ptrdiff_t(best));
            rects.insert(rects.begin() + std::ptrdiff_t(i), r);
        }
    }
    for (const CRect& r : rects) {
        if (r.IsEmpty()) continue;
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x) {
                const bool edge =
                    y == r.top || y == r.bottom - 1 || x == r.left || x == r.right - 1;
                areas->SetPixel(x, y, edge ? 7 : 15);
            }
    }
    return areas;
}

std::unique_ptr<CMImage> ShowSpots(const CMImage& image, const CSpotList& selected,
                                   const CSpotList& inClusters, const CClusters& clusters,
                                   bool onImage, ESpotShow what, ESpotMark shape, bool outlined) {
    if (!image.IsValid()) return nullptr;
    std::unique_ptr<CMImage> marks;
    const CSpotList none;
    switch (what) {
        case ESpotShow::kSpots:
            marks = SpotMarkImage(image, selected, shape);
            break;
        case ESpotShow::kInClusters:
            marks = SpotMarkImage(image, inClusters, shape);
            break;
        case ESpotShow::kClusterAreas:
            marks = ClusterAreaImage(image, clusters);
            break;
        case ESpotShow::kNone:
            marks = SpotMarkImage(image, none, shape);
            break;
    }
    if (!marks || !onImage) return marks;
    auto result = std::make_unique<CMImage>(image);
    // Marks are sparse: whole zero bytes of the packed mark rows are passed over.
    const int32_t perByte = marks->depth < 8 ? 8 / marks->depth : 0;
    const int32_t w = image.width, h = image.height;
    auto marked = [&](int32_t x, int32_t y) { return marks->GetPixel(x, y) != 0; };
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = marks->Row(y);
        const int32_t step = perByte ? perByte : w;
        for (int32_t first = 0; first < w; first += step) {
            if (perByte && row[first / perByte] == 0) continue;
            for (int32_t x = first; x < std::min(w, first + step); ++x) {
                if (!marked(x, y)) continue;
                result->SetPixel(x, y, image.maxValue);
                if (!outlined) continue;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if ((dx || dy) && x + dx >= 0 && y + dy >= 0 && x + dx < w && y + dy < h &&
                            !marked(x + dx, y + dy))
                            result->SetPixel(x + dx, y + dy, 0);
            }
        }
    }
    result->InvalidateHistogram();
    return result;
}

}  // namespace vistrel
