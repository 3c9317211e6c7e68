#pragma once

// One corner of a region, in unit image coordinates (0 to 1 of the
// image's width and height).
struct Vertex {
    double x = 0;
    double y = 0;

    friend bool operator==(const Vertex &, const Vertex &) = default;
};
