#pragma once
// A full-field mammogram stand-in (3328 x 4084, 12 bits): slowly varying
// tissue with noise. rng is left where the tissue ended, so callers can add
// features from the same sequence.

#include <cmath>
#include <cstdint>
#include <random>

#include "core/image.h"

namespace vistrel::bench {

inline CMImage MakeTissueImage(std::mt19937& rng) {
    CMImage m;
    m.Create(3328, 4084, 12, 1);
    for (int y = 0; y < m.height; ++y) {
        uint16_t* row = m.Row16(y);
        for (int x = 0; x < m.width; ++x) {
            const double tissue = 1500 + 900 * std::sin(x / 300.0) * std::cos(y / 410.0);
            row[x] = static_cast<uint16_t>(tissue + (rng() % 64));
        }
    }
    return m;
}

// MakeTissueImage with the tissue kept inside a half ellipse against the
// chest wall on the left; the rest is dark film with a little noise.
inline CMImage MakeBreastFilm(std::mt19937& rng) {
    CMImage film = MakeTissueImage(rng);
    const double cy = film.height / 2.0, rx = film.width * 0.7, ry = film.height * 0.45;
    for (int y = 0; y < film.height; ++y) {
        uint16_t* row = film.Row16(y);
        for (int x = 0; x < film.width; ++x) {
            const double dx = x / rx, dy = (y - cy) / ry;
            if (dx * dx + dy * dy > 1.0) row[x] = static_cast<uint16_t>(40 + rng() % 16);
        }
    }
    return film;
}

}  // namespace vistrel::bench
