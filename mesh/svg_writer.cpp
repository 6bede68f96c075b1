#include "svg_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace velmora::mesh {

namespace {

// Layout in pixels.
constexpr double most_plot_width = 760, most_plot_height = 560;
constexpr double margin = 20, title_height = 40;
constexpr double bar_gap = 40, bar_width = 22, label_room = 100;
constexpr double least_bar_height = 160, most_bar_height = 400, bar_label_room = 24;
constexpr double legend_height = 50, least_width = 560;
constexpr int ticks = 5;

// Anchors of the colour bar, from the smallest to the largest sigma1: dark
// violet through blue and green to yellow, ordered in lightness so that the
// picture reads in grey too.
constexpr std::array<std::array<double, 3>, 5> anchors = {{
    {68, 1, 84},
    {59, 82, 139},
    {33, 145, 140},
    {94, 201, 98},
    {253, 231, 37},
}};

// Appends every part to t.
template <class... Parts>
void put(std::string& t, const Parts&... parts) {
    (t.append(parts), ...);
}

std::string fixed(double v) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 2);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("0");
}

// A stress for a label: four significant digits.
std::string label(double v) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 4);
    return std::string(buffer, r.ptr);
}

std::string hex(const std::array<int, 3>& c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", c[0], c[1], c[2]);
    return buffer;
}

// The two coordinate axes of the picture: the plane the initial mesh
// spreads most in; on a tie z is dropped before y, y before x.
std::array<int, 2> picture_axes(const std::vector<std::array<double, 3>>& points) {
    std::array<double, 3> extent{0, 0, 0};
    if (!points.empty())
        for (int a = 0; a < 3; ++a) {
            const auto [lo, hi] = std::minmax_element(points.begin(), points.end(),
                                                      [a](const auto& p, const auto& q) { return p[a] < q[a]; });
            extent[a] = (*hi)[a] - (*lo)[a];
        }
    int dropped = 2;
    if (extent[1] < extent[dropped]) dropped = 1;
    if (extent[0] < extent[dropped]) dropped = 0;
    if (dropped == 0) return {1, 2};
    if (dropped == 1) return {0, 2};
    return {0, 1};
}

}  // namespace

std::array<int, 3> colour(double t) {
    if (!(t > 0)) t = 0;
    if (t > 1) t = 1;
    const double x = t * (anchors.size() - 1);
    const std::size_t i = std::min(static_cast<std::size_t>(x), anchors.size() - 2);
    const double f = x - static_cast<double>(i);
    std::array<int, 3> c{};
    for (std::size_t k = 0; k < 3; ++k)
        c[k] = static_cast<int>(std::lround(anchors[i][k] + (anchors[i + 1][k] - anchors[i][k]) * f));
    return c;
}

std::vector<std::array<int, 2>> boundary_edges(const std::vector<std::array<int, 3>>& triangles) {
    std::vector<std::array<int, 2>> edges;
    edges.reserve(triangles.size() * 3);
    for (const auto& t : triangles)
        for (int k = 0; k < 3; ++k) {
            const int a = t[static_cast<std::size_t>(k)], b = t[static_cast<std::size_t>((k + 1) % 3)];
            edges.push_back({std::min(a, b), std::max(a, b)});
        }
    std::sort(edges.begin(), edges.end());
    std::vector<std::array<int, 2>> single;
    for (std::size_t i = 0; i < edges.size();) {
        std::size_t j = i + 1;
        while (j < edges.size() && edges[j] == edges[i]) ++j;
        if (j - i == 1) single.push_back(edges[i]);
        i = j;
    }
    return single;
}

std::string svg_text(const results& r, double scale) {
    const std::array<int, 2> axes = picture_axes(r.points);
    const std::size_t h = static_cast<std::size_t>(axes[0]), v = static_cast<std::size_t>(axes[1]);

    // Initial and deformed positions in the picture's plane.
    const std::size_t n = r.points.size();
    std::vector<std::array<double, 2>> initial(n), deformed(n);
    for (std::size_t k = 0; k < n; ++k) {
        initial[k] = {r.points[k][h], r.points[k][v]};
        deformed[k] = {r.points[k][h] + scale * r.displacement[k][h], r.points[k][v] + scale * r.displacement[k][v]};
    }
    double lo_h = 0, hi_h = 1, lo_v = 0, hi_v = 1;
    if (n > 0) {
        lo_h = hi_h = initial[0][0];
        lo_v = hi_v = initial[0][1];
        for (const auto* set : {&initial, &deformed})
            for (const auto& p : *set) {
                lo_h = std::min(lo_h, p[0]);
                hi_h = std::max(hi_h, p[0]);
                lo_v = std::min(lo_v, p[1]);
                hi_v = std::max(hi_v, p[1]);
            }
    }
    const double span_h = hi_h > lo_h ? hi_h - lo_h : 1.0;
    const double span_v = hi_v > lo_v ? hi_v - lo_v : 1.0;
    const double px = std::min(most_plot_width / span_h, most_plot_height / span_v);
    const double plot_w = span_h * px, plot_h = span_v * px;
    const double bar_h = std::clamp(plot_h, least_bar_height, most_bar_height);
    const double left = margin, top = margin + title_height;
    const double bar_x = left + plot_w + bar_gap;
    const double width = std::max(bar_x + bar_width + label_room + margin, least_width);
    const double body_h = std::max(plot_h, bar_h + bar_label_room);
    const double height = top + body_h + legend_height + margin;
    const auto X = [&](double a) { return fixed(left + (a - lo_h) * px); };
    const auto Y = [&](double b) { return fixed(top + (hi_v - b) * px); };

    double s_lo = 0, s_hi = 0;
    if (!r.sigma.empty()) {
        const auto [a, b] = std::minmax_element(r.sigma.begin(), r.sigma.end(),
                                                [](const auto& p, const auto& q) { return p[0] < q[0]; });
        s_lo = (*a)[0];
        s_hi = (*b)[0];
    }
    const auto shade = [&](double s) { return hex(colour(s_hi > s_lo ? (s - s_lo) / (s_hi - s_lo) : 0.5)); };

    const std::string names[] = {"x", "y", "z"};
    const std::string font = "font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\"";
    std::string t;
    t.reserve(r.triangles.size() * 90 + n * 40 + 4096);
    put(t, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    put(t, "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"", fixed(width), "\" height=\"",
        fixed(height), "\" viewBox=\"0 0 ", fixed(width), " ", fixed(height), "\">\n");
    put(t, "<title>velmora result: deformed mesh coloured by sigma1</title>\n");
    put(t, "<defs>\n<linearGradient id=\"sigma1-bar\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">\n");
    constexpr int stops = 16;
    for (int i = 0; i <= stops; ++i) {
        const double f = static_cast<double>(i) / stops;
        put(t, "<stop offset=\"", fixed(f), "\" stop-color=\"", hex(colour(f)), "\"/>\n");
    }
    put(t, "</linearGradient>\n</defs>\n");
    put(t, "<rect x=\"0\" y=\"0\" width=\"", fixed(width), "\" height=\"", fixed(height), "\" fill=\"#ffffff\"/>\n");
    put(t, "<g ", font, " font-size=\"13\" fill=\"#000000\">\n");
    put(t, "<text x=\"", fixed(left), "\" y=\"", fixed(margin + 16), "\" font-size=\"16\">",
        "Deformed mesh coloured by the first principal stress &#963;1</text>\n");
    put(t, "<text x=\"", fixed(left), "\" y=\"", fixed(margin + 34), "\">", std::to_string(n), " nodes, ",
        std::to_string(r.triangles.size()), " elements, ", std::to_string(r.iterations),
        " iterations; displacements &#215; ", label(scale), "; ", names[h], " to the right, ", names[v],
        " up</text>\n");
    put(t, "</g>\n");

    // The deformed mesh.
    put(t, "<g stroke=\"#202020\" stroke-width=\"0.4\" stroke-linejoin=\"round\">\n");
    for (std::size_t e = 0; e < r.triangles.size(); ++e) {
        put(t, "<polygon points=\"");
        for (std::size_t k = 0; k < 3; ++k) {
            const auto& p = deformed[static_cast<std::size_t>(r.triangles[e][k])];
            put(t, k > 0 ? " " : "", X(p[0]), ",", Y(p[1]));
        }
        put(t, "\" fill=\"", shade(r.sigma[e][0]), "\"/>\n");
    }
    put(t, "</g>\n");

    // The initial outline over it.
    put(t, "<path fill=\"none\" stroke=\"#000000\" stroke-width=\"1.2\" stroke-dasharray=\"5 3\" d=\"");
    bool first = true;
    for (const auto& edge : boundary_edges(r.triangles)) {
        const auto& a = initial[static_cast<std::size_t>(edge[0])];
        const auto& b = initial[static_cast<std::size_t>(edge[1])];
        put(t, first ? "M" : " M", X(a[0]), ",", Y(a[1]), " L", X(b[0]), ",", Y(b[1]));
        first = false;
    }
    put(t, "\"/>\n");

    // The colour bar with its ticks.
    const double bar_top = top + bar_label_room + (body_h - bar_label_room - bar_h) / 2;
    put(t, "<rect x=\"", fixed(bar_x), "\" y=\"", fixed(bar_top), "\" width=\"", fixed(bar_width), "\" height=\"",
        fixed(bar_h), "\" fill=\"url(#sigma1-bar)\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n");
    put(t, "<g ", font, " font-size=\"12\" fill=\"#000000\">\n");
    put(t, "<text x=\"", fixed(bar_x), "\" y=\"", fixed(bar_top - 10), "\" font-size=\"14\">&#963;1</text>\n");
    const int tick_count = s_hi > s_lo ? ticks : 1;
    for (int i = 0; i < tick_count; ++i) {
        const double f = tick_count > 1 ? static_cast<double>(i) / (tick_count - 1) : 0.5;
        const double value = tick_count > 1 ? s_lo + (s_hi - s_lo) * f : s_lo;
        const double y = bar_top + bar_h * (1 - f);
        put(t, "<line x1=\"", fixed(bar_x + bar_width), "\" y1=\"", fixed(y), "\" x2=\"", fixed(bar_x + bar_width + 5),
            "\" y2=\"", fixed(y), "\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n");
        put(t, "<text x=\"", fixed(bar_x + bar_width + 8), "\" y=\"", fixed(y + 4), "\">", label(value), "</text>\n");
    }
    put(t, "</g>\n");

    // The legend.
    const double legend_y = top + body_h + 30;
    put(t, "<g ", font, " font-size=\"12\" fill=\"#000000\">\n");
    put(t, "<line x1=\"", fixed(left), "\" y1=\"", fixed(legend_y - 4), "\" x2=\"", fixed(left + 30), "\" y2=\"",
        fixed(legend_y - 4), "\" stroke=\"#000000\" stroke-width=\"1.2\" stroke-dasharray=\"5 3\"/>\n");
    put(t, "<text x=\"", fixed(left + 38), "\" y=\"", fixed(legend_y), "\">initial outline</text>\n");
    put(t, "<rect x=\"", fixed(left + 160), "\" y=\"", fixed(legend_y - 11), "\" width=\"30\" height=\"12\" fill=\"",
        hex(colour(0.5)), "\" stroke=\"#202020\" stroke-width=\"0.4\"/>\n");
    put(t, "<text x=\"", fixed(left + 198), "\" y=\"", fixed(legend_y),
        "\">deformed mesh, coloured by &#963;1</text>\n");
    put(t, "</g>\n");
    put(t, "</svg>\n");
    return t;
}

}  // namespace velmora::mesh
