#include "history_plot.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "mesh_error.hpp"

namespace velmora::mesh {

namespace {

// Layout in pixels: the frame of the plot inside its margins.
constexpr double frame_width = 640, frame_height = 400;
constexpr double left_room = 90, right_room = 30, top_room = 60, bottom_room = 70;
constexpr double tick_length = 6;

std::string fixed(double v) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 2);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("0");
}

// Text for SVG: &, < and > escaped.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

template <class... Parts>
void put(std::string& t, const Parts&... parts) {
    (t.append(parts), ...);
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    while (true) {
        const std::size_t comma = line.find(',', from);
        fields.push_back(line.substr(from, comma - from));
        if (comma == std::string::npos) return fields;
        from = comma + 1;
    }
}

}  // namespace

int history_table::column(const std::string& name) const {
    const auto at = std::find(columns.begin(), columns.end(), name);
    return at == columns.end() ? -1 : static_cast<int>(at - columns.begin());
}

history_table read_history(const std::string& text, const std::string& file) {
    history_table t;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string where = file + " line " + std::to_string(number) + ": ";
        if (number == 1) {
            t.columns = split(line);
            for (const std::string& name : t.columns)
                if (name.empty()) fail(where, "a column without a name in the header");
            continue;
        }
        if (line.empty()) continue;
        const std::vector<std::string> fields = split(line);
        if (fields.size() != t.columns.size())
            fail(where, std::to_string(fields.size()), " fields under a header of ", std::to_string(t.columns.size()));
        std::vector<double> row;
        for (const std::string& field : fields) {
            double v = 0;
            const auto r = std::from_chars(field.data(), field.data() + field.size(), v);
            if (r.ec != std::errc() || r.ptr != field.data() + field.size() || !std::isfinite(v))
                fail(where, "\"", field, "\" is not a finite number");
            row.push_back(v);
        }
        t.rows.push_back(std::move(row));
    }
    if (number == 0) fail(file, ": empty, not a history (a header line, then a row per equilibrium)");
    return t;
}

std::string default_across(const history_table& t) {
    std::string best = "increment";
    double widest = -1;
    for (std::size_t c = 0; c < t.columns.size(); ++c) {
        const std::string& name = t.columns[c];
        if (name.size() < 4 || name[0] != 'u' || name[name.size() - 2] != '_') continue;
        if (widest >= 0 && name.substr(0, name.size() - 2) != best.substr(0, best.size() - 2)) break;
        double lo = 0, hi = 0;
        for (const auto& row : t.rows) lo = std::min(lo, row[c]), hi = std::max(hi, row[c]);
        if (hi - lo > widest) widest = hi - lo, best = name;
    }
    return best;
}

axis nice_axis(double least, double most, int ticks) {
    if (!(most > least)) {
        const double half = least != 0 ? std::fabs(least) / 2 : 1;
        least -= half, most += half;
    }
    const double rough = (most - least) / ticks;
    const double unit = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / unit;
    const double step = (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * unit;
    return {std::floor(least / step) * step, std::ceil(most / step) * step, step};
}

std::string tick_label(double value, const axis& a) {
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(a.step) + 1e-9)));
    char buffer[64];
    if (decimals > 6 || std::max(std::fabs(a.low), std::fabs(a.high)) >= 1e7)
        std::snprintf(buffer, sizeof buffer, "%.3g", value);
    else
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value == 0 ? 0.0 : value);
    return buffer;
}

std::string history_svg(const history_table& t, int x, int y, const std::string& title) {
    const std::size_t cx = static_cast<std::size_t>(x), cy = static_cast<std::size_t>(y);
    double x_lo = 0, x_hi = 0, y_lo = 0, y_hi = 0;
    for (std::size_t k = 0; k < t.rows.size(); ++k) {
        const double u = t.rows[k][cx], v = t.rows[k][cy];
        x_lo = k == 0 ? u : std::min(x_lo, u), x_hi = k == 0 ? u : std::max(x_hi, u);
        y_lo = k == 0 ? v : std::min(y_lo, v), y_hi = k == 0 ? v : std::max(y_hi, v);
    }
    const axis across = nice_axis(x_lo, x_hi), up = nice_axis(y_lo, y_hi);
    const double left = left_room, top = top_room, right = left + frame_width, bottom = top + frame_height;
    const double width = right + right_room, height = bottom + bottom_room;
    const auto X = [&](double v) { return left + (v - across.low) / (across.high - across.low) * frame_width; };
    const auto Y = [&](double v) { return bottom - (v - up.low) / (up.high - up.low) * frame_height; };
    const std::string x_name = escaped(t.columns[cx]), y_name = escaped(t.columns[cy]);

    std::string s;
    put(s, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    put(s, "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"", fixed(width), "\" height=\"",
        fixed(height), "\" viewBox=\"0 0 ", fixed(width), " ", fixed(height), "\">\n");
    put(s, "<title>", y_name, " against ", x_name, "</title>\n");
    put(s, "<rect x=\"0\" y=\"0\" width=\"", fixed(width), "\" height=\"", fixed(height), "\" fill=\"#ffffff\"/>\n");
    put(s, "<g font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"13\" fill=\"#000000\">\n");
    put(s, "<text x=\"", fixed(left), "\" y=\"24\" font-size=\"16\">", y_name, " against ", x_name, "</text>\n");
    put(s, "<text x=\"", fixed(left), "\" y=\"44\">", escaped(title), ", ", std::to_string(t.rows.size()),
        " rows</text>\n");
    put(s, "</g>\n");

    // Grid and ticks: x ticks below the frame, y ticks left of it; each
    // label's anchor is its tick's position.
    std::string grid, tick_marks, x_labels, y_labels;
    const auto count = [](const axis& a) { return static_cast<long>(std::lround((a.high - a.low) / a.step)); };
    const long first_x = std::lround(across.low / across.step), first_y = std::lround(up.low / up.step);
    for (long k = 0; k <= count(across); ++k) {
        const double v = static_cast<double>(first_x + k) * across.step, p = X(v);
        put(grid, "<line x1=\"", fixed(p), "\" y1=\"", fixed(top), "\" x2=\"", fixed(p), "\" y2=\"", fixed(bottom),
            "\"/>\n");
        put(tick_marks, "<line x1=\"", fixed(p), "\" y1=\"", fixed(bottom), "\" x2=\"", fixed(p), "\" y2=\"",
            fixed(bottom + tick_length), "\"/>\n");
        put(x_labels, "<text x=\"", fixed(p), "\" y=\"", fixed(bottom + 22), "\">", tick_label(v, across), "</text>\n");
    }
    for (long k = 0; k <= count(up); ++k) {
        const double v = static_cast<double>(first_y + k) * up.step, p = Y(v);
        put(grid, "<line x1=\"", fixed(left), "\" y1=\"", fixed(p), "\" x2=\"", fixed(right), "\" y2=\"", fixed(p),
            "\"/>\n");
        put(tick_marks, "<line x1=\"", fixed(left - tick_length), "\" y1=\"", fixed(p), "\" x2=\"", fixed(left),
            "\" y2=\"", fixed(p), "\"/>\n");
        put(y_labels, "<text x=\"", fixed(left - 10), "\" y=\"", fixed(p), "\">", tick_label(v, up), "</text>\n");
    }
    put(s, "<g stroke=\"#dddddd\" stroke-width=\"0.8\">\n", grid, "</g>\n");
    put(s, "<rect x=\"", fixed(left), "\" y=\"", fixed(top), "\" width=\"", fixed(frame_width), "\" height=\"",
        fixed(frame_height), "\" fill=\"none\" stroke=\"#000000\" stroke-width=\"1\"/>\n");
    put(s, "<g stroke=\"#000000\" stroke-width=\"1\">\n", tick_marks, "</g>\n");
    const std::string font = "font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"12\"";
    put(s, "<g id=\"x-ticks\" ", font, " text-anchor=\"middle\" dominant-baseline=\"middle\">\n", x_labels, "</g>\n");
    put(s, "<g id=\"y-ticks\" ", font, " text-anchor=\"end\" dominant-baseline=\"middle\">\n", y_labels, "</g>\n");
    put(s, "<g font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"14\" text-anchor=\"middle\">\n");
    put(s, "<text x=\"", fixed(left + frame_width / 2), "\" y=\"", fixed(bottom + 52), "\">", x_name, "</text>\n");
    put(s, "<text x=\"22\" y=\"", fixed(top + frame_height / 2), "\" transform=\"rotate(-90 22 ",
        fixed(top + frame_height / 2), ")\">", y_name, "</text>\n");
    put(s, "</g>\n");

    // The curve through the rows, in their order, and a dot at each.
    std::string points, dots;
    for (const auto& row : t.rows) {
        const std::string px = fixed(X(row[cx])), py = fixed(Y(row[cy]));
        put(points, points.empty() ? "" : " ", px, ",", py);
        put(dots, "<circle cx=\"", px, "\" cy=\"", py, "\" r=\"2.5\"/>\n");
    }
    put(s,
        "<polyline id=\"curve\" fill=\"none\" stroke=\"#1f5fa8\" stroke-width=\"1.6\" stroke-linejoin=\"round\" "
        "points=\"",
        points, "\"/>\n");
    put(s, "<g id=\"rows\" fill=\"#1f5fa8\">\n", dots, "</g>\n");
    put(s, "</svg>\n");
    return s;
}

}  // namespace velmora::mesh
