// Writes the production's mesh as a Wavefront OBJ file: a (3, 2) torus knot drawn as a tube with
// normals and texture coordinates, plus a flat plinth below it. Usage: meshgen <out.obj>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct vec3 {
  double x, y, z;
};
vec3 operator+(vec3 a, vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
vec3 operator-(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
vec3 operator*(double s, vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
vec3 cross(vec3 a, vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
vec3 normalize(vec3 a) {
  const double l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  return l > 0 ? (1.0 / l) * a : a;
}

constexpr double pi = 3.14159265358979323846;

vec3 knot(double t) {
  const double p = 2, q = 3;
  const double r = 1.0 + 0.45 * std::cos(q * t);
  return {r * std::cos(p * t), 0.45 * std::sin(q * t) + 1.4, r * std::sin(p * t)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: meshgen <out.obj>\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out, "# A torus knot over a plinth, written by meshgen.\n");
  const int rings = 120, sides = 10;
  const double radius = 0.22;
  std::fprintf(out, "o knot\n");
  for (int i = 0; i < rings; ++i) {
    const double t = 2 * pi * i / rings;
    const vec3 c = knot(t);
    const vec3 tangent = normalize(knot(t + 1e-3) - knot(t - 1e-3));
    const vec3 side = normalize(cross(tangent, {0, 1, 0}));
    const vec3 up = cross(side, tangent);
    for (int j = 0; j < sides; ++j) {
      const double a = 2 * pi * j / sides;
      const vec3 n = std::cos(a) * side + std::sin(a) * up;
      const vec3 p = c + radius * n;
      std::fprintf(out, "v %.6f %.6f %.6f\nvn %.6f %.6f %.6f\nvt %.6f %.6f\n", p.x, p.y, p.z, n.x, n.y, n.z,
                   double(i) / rings * 8.0, double(j) / sides);
    }
  }
  auto index = [&](int i, int j) { return (i % rings) * sides + (j % sides) + 1; };
  for (int i = 0; i < rings; ++i) {
    for (int j = 0; j < sides; ++j) {
      const int a = index(i, j), b = index(i + 1, j), c = index(i + 1, j + 1), d = index(i, j + 1);
      std::fprintf(out, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c, c);
      std::fprintf(out, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, c, c, c, d, d, d);
    }
  }
  // The plinth: a flat disc of 24 segments and its rim.
  std::fprintf(out, "o plinth\n");
  const int segments = 24;
  const int base = rings * sides + 1;
  std::fprintf(out, "v 0 0 0\nvn 0 1 0\nvt 0.5 0.5\n");
  for (int k = 0; k < segments; ++k) {
    const double a = 2 * pi * k / segments;
    std::fprintf(out, "v %.6f 0 %.6f\nvn 0 1 0\nvt %.6f %.6f\n", 2.2 * std::cos(a), 2.2 * std::sin(a),
                 0.5 + 0.5 * std::cos(a), 0.5 + 0.5 * std::sin(a));
  }
  for (int k = 0; k < segments; ++k) {
    const int a = base, b = base + 1 + (k + 1) % segments, c = base + 1 + k;
    std::fprintf(out, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c, c);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
