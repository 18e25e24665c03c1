#include "SurveyRenderer.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/Program>
#include <osg/Shader>
#include <osg/Uniform>
#include <osgViewer/Viewer>

#include "SiteModel.h"
#include "SurveyCamera.h"

namespace
{

const char* vertexShader = R"(#version 130
out vec3 ground;
out vec3 normal;
out float material;
void main()
{
    ground = gl_Vertex.xyz;
    normal = gl_Normal;
    material = gl_MultiTexCoord0.x;
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
}
)";

// Value noise over an integer hash: no table, so nothing repeats however far
// the site reaches. Octaves finer than about two pixels fade out, which keeps
// each photo free of aliasing that would differ from view to view.
const char* fragmentShader = R"(#version 130
in vec3 ground;
in vec3 normal;
in float material;
uniform vec3 targets[64];
uniform int targetCount;
uniform float targetSize;
uniform uint seed;

uint hash(uint x, uint y, uint z)
{
    uint h = x * 0x8da6b343u ^ y * 0xd8163841u ^ z * 0xcb1ab31fu ^ seed * 0x9e3779b9u;
    h ^= h >> 16; h *= 0x7feb352du; h ^= h >> 15; h *= 0x846ca68bu; h ^= h >> 16;
    return h;
}

float value(ivec2 c, uint octave)
{
    return float(hash(uint(c.x), uint(c.y), octave) & 0xffffffu) / 16777215.0;
}

float noise(vec2 p, uint octave)
{
    vec2 i = floor(p);
    vec2 f = p - i;
    vec2 u = f * f * (3.0 - 2.0 * f);
    ivec2 c = ivec2(i);
    float a = value(c, octave), b = value(c + ivec2(1, 0), octave);
    float d = value(c + ivec2(0, 1), octave), e = value(c + ivec2(1, 1), octave);
    return mix(mix(a, b, u.x), mix(d, e, u.x), u.y);
}

// Stones: one in some cells of a grid of the given size, dark or light.
float stones(vec2 p, float cell, uint octave, float footprint)
{
    vec2 q = p / cell;
    ivec2 c = ivec2(floor(q));
    float shade = 0.0;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            ivec2 k = c + ivec2(i, j);
            uint h = hash(uint(k.x), uint(k.y), octave + 100u);
            if ((h & 7u) > 2u)
                continue;
            vec2 centre = (vec2(k) + vec2(float((h >> 8) & 255u), float((h >> 16) & 255u)) / 255.0) * cell;
            float radius = cell * (0.12 + 0.18 * float((h >> 24) & 15u) / 15.0);
            float edge = max(footprint, radius * 0.2);
            float inside = 1.0 - smoothstep(radius - edge, radius + edge, length(p - centre));
            shade += inside * (((h >> 3) & 1u) == 1u ? 0.22 : -0.22);
        }
    return shade * clamp(cell * 0.3 / footprint - 1.0, 0.0, 1.0);
}

void main()
{
    vec2 p = ground.xy;
    float footprint = max(length(dFdx(ground)), length(dFdy(ground))) + 1e-6;
    float detail = 0.0;
    float wavelength = 6.0;
    for (int k = 0; k < 12; ++k) {
        float weight = clamp(wavelength / footprint / 2.0 - 1.0, 0.0, 1.0);
        detail += weight * (noise(p / wavelength, uint(k)) - 0.5);
        wavelength *= 0.5;
    }
    detail += stones(p, 1.2, 1u, footprint) + stones(p, 0.25, 2u, footprint) + stones(p, 0.05, 3u, footprint);

    vec3 soil = vec3(0.50, 0.41, 0.30);
    if (material > 2.5) soil = vec3(0.60, 0.58, 0.53);       // wall stones
    else if (material > 1.5) soil = vec3(0.62, 0.52, 0.38);  // spoil
    else if (material > 0.5) soil = vec3(0.56, 0.38, 0.27);  // trench
    float broad = noise(p / 23.0, 40u) - 0.5;
    soil *= 1.0 + 0.35 * broad;
    vec3 colour = soil * (1.0 + 0.5 * detail);

    for (int t = 0; t < targetCount; ++t) {
        vec2 d = p - targets[t].xy;
        float h = targetSize / 2.0;
        if (max(abs(d.x), abs(d.y)) > h + 2.0 * footprint)
            continue;
        // Soft steps a pixel wide keep the checker's centre sharp to a fraction of a pixel.
        float sx = clamp(d.x / footprint, -1.0, 1.0), sy = clamp(d.y / footprint, -1.0, 1.0);
        float checker = 0.5 + 0.5 * sx * sy;
        float inside = (1.0 - smoothstep(h - footprint, h + footprint, abs(d.x))) *
                       (1.0 - smoothstep(h - footprint, h + footprint, abs(d.y)));
        colour = mix(colour, vec3(0.06 + 0.86 * checker), inside);
    }

    vec3 sun = normalize(vec3(0.35, 0.25, 0.9));
    float light = 0.55 + 0.45 * max(dot(normalize(normal), sun), 0.0);
    gl_FragColor = vec4(clamp(colour * light, 0.0, 1.0), 1.0);
}
)";

// The OpenGL projection of a pinhole camera whose pixels run right and down
// from the top-left corner (OpenGL's window rows run up, so y flips here and
// the read-back image flips again).
osg::Matrixd projection(const SurveyCamera& c, double near, double far)
{
    const double w = c.width, h = c.height;
    const double p00 = 2 * c.fx / w, p02 = 1 - 2 * c.cx / w;
    const double p11 = 2 * c.fy / h, p12 = 2 * c.cy / h - 1;
    const double p22 = -(far + near) / (far - near), p23 = -2 * far * near / (far - near);
    // osg::Matrixd takes the elements in OpenGL's column order.
    return osg::Matrixd(p00, 0, 0, 0, 0, p11, 0, 0, p02, p12, p22, -1, 0, 0, p23, 0);
}

// Eye space: x right, y up, looking down -z; ours looks down +z with y down.
osg::Matrixd view(const SurveyCamera& c)
{
    const double flip[3] = {1, -1, -1};
    double m[16] = {0};
    for (int r = 0; r < 3; ++r) {
        double t = 0;
        for (int k = 0; k < 3; ++k) {
            m[k * 4 + r] = flip[r] * c.rotation[r][k];
            t += c.rotation[r][k] * c.centre[k];
        }
        m[12 + r] = -flip[r] * t;
    }
    m[15] = 1;
    return osg::Matrixd(m);
}

} // namespace

SurveyRenderer::SurveyRenderer(const SiteModel& site, const std::vector<ControlTargets::Target>& targets,
                               double targetSize, std::uint64_t seed)
    : m_scene(buildScene(site, targets, targetSize, seed))
{
}

SurveyRenderer::~SurveyRenderer() = default;

osg::ref_ptr<osg::Node> SurveyRenderer::buildScene(const SiteModel& site,
                                                   const std::vector<ControlTargets::Target>& targets,
                                                   double targetSize, std::uint64_t seed) const
{
    const int columns = site.columns(), rows = site.rows();
    const double s = site.spacing(), margin = site.margin();
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array(size_t(columns) * size_t(rows));
    osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array(vertices->size());
    osg::ref_ptr<osg::FloatArray> materials = new osg::FloatArray(vertices->size());
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            const size_t k = size_t(j) * size_t(columns) + size_t(i);
            const double x = i * s - margin, y = j * s - margin;
            (*vertices)[k].set(float(x), float(y), float(site.gridHeight(i, j)));
            const int i0 = std::max(i - 1, 0), i1 = std::min(i + 1, columns - 1);
            const int j0 = std::max(j - 1, 0), j1 = std::min(j + 1, rows - 1);
            osg::Vec3 n(-(site.gridHeight(i1, j) - site.gridHeight(i0, j)) / float((i1 - i0) * s),
                        -(site.gridHeight(i, j1) - site.gridHeight(i, j0)) / float((j1 - j0) * s), 1);
            n.normalize();
            (*normals)[k] = n;
            (*materials)[k] = float(site.materialAt(x, y));
        }
    osg::ref_ptr<osg::DrawElementsUInt> triangles = new osg::DrawElementsUInt(GL_TRIANGLES);
    triangles->reserve(size_t(columns - 1) * size_t(rows - 1) * 6);
    for (int j = 0; j + 1 < rows; ++j)
        for (int i = 0; i + 1 < columns; ++i) {
            const unsigned a = unsigned(j * columns + i), b = a + 1, c = a + unsigned(columns) + 1,
                           d = a + unsigned(columns);
            // Split along the south-west to north-east diagonal, as SiteModel::heightAt.
            for (unsigned v : {a, b, c, a, c, d})
                triangles->push_back(v);
        }
    osg::ref_ptr<osg::Geometry> ground = new osg::Geometry;
    ground->setUseDisplayList(false);
    ground->setUseVertexBufferObjects(true);
    ground->setVertexArray(vertices);
    ground->setNormalArray(normals, osg::Array::BIND_PER_VERTEX);
    ground->setTexCoordArray(0, materials, osg::Array::BIND_PER_VERTEX);
    ground->addPrimitiveSet(triangles);

    osg::StateSet* state = ground->getOrCreateStateSet();
    osg::ref_ptr<osg::Program> program = new osg::Program;
    program->addShader(new osg::Shader(osg::Shader::VERTEX, vertexShader));
    program->addShader(new osg::Shader(osg::Shader::FRAGMENT, fragmentShader));
    state->setAttributeAndModes(program);
    osg::ref_ptr<osg::Uniform> centres = new osg::Uniform(osg::Uniform::FLOAT_VEC3, "targets", 64);
    for (size_t t = 0; t < targets.size() && t < 64; ++t)
        centres->setElement(unsigned(t), osg::Vec3(float(targets[t].x), float(targets[t].y), float(targets[t].z)));
    state->addUniform(centres);
    state->addUniform(new osg::Uniform("targetCount", int(std::min<size_t>(targets.size(), 64))));
    state->addUniform(new osg::Uniform("targetSize", float(targetSize)));
    state->addUniform(new osg::Uniform("seed", unsigned(seed)));
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    state->setMode(GL_CULL_FACE, osg::StateAttribute::OFF);
    return ground;
}

bool SurveyRenderer::open(int width, int height, std::string* error)
{
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
    traits->width = width;
    traits->height = height;
    traits->pbuffer = true;
    traits->doubleBuffer = false;
    traits->red = traits->green = traits->blue = 8;
    traits->depth = 24;
    traits->readDISPLAY();
    traits->setUndefinedScreenDetailsToDefaultScreen();
    osg::ref_ptr<osg::GraphicsContext> context = osg::GraphicsContext::createGraphicsContext(traits.get());
    if (!context.valid()) {
        *error = "no OpenGL off-screen buffer of " + std::to_string(width) + " x " + std::to_string(height) +
                 " pixels (is there an X display? run under xvfb-run)";
        return false;
    }
    m_width = width;
    m_height = height;
    m_viewer = std::make_unique<osgViewer::Viewer>();
    m_viewer->setThreadingModel(osgViewer::ViewerBase::SingleThreaded);
    osg::Camera* camera = m_viewer->getCamera();
    camera->setGraphicsContext(context.get());
    camera->setViewport(0, 0, width, height);
    camera->setClearColor(osg::Vec4(0.78f, 0.84f, 0.92f, 1)); // a hazy sky
    camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    camera->setCullingMode(osg::CullSettings::VIEW_FRUSTUM_CULLING);
    camera->setDrawBuffer(GL_FRONT);
    camera->setReadBuffer(GL_FRONT);
    m_image = new osg::Image;
    m_image->allocateImage(width, height, 1, GL_RGB, GL_UNSIGNED_BYTE);
    camera->attach(osg::Camera::COLOR_BUFFER, m_image.get());
    m_viewer->setSceneData(m_scene.get());
    m_viewer->setCameraManipulator(nullptr);
    m_viewer->realize();
    if (!m_viewer->isRealized()) {
        *error = "the off-screen viewer could not start";
        return false;
    }
    return true;
}

SurveyRenderer::Buffer SurveyRenderer::bufferFor(const SurveyCamera& c)
{
    Buffer b;
    b.width = c.width;
    b.height = c.height;
    if (c.k1 == 0 && c.k2 == 0)
        return b;
    // The undistorted border of the photo bounds every pixel's pinhole position
    // (the lens keeps the pixels in order).
    double lo[2] = {0, 0}, hi[2] = {double(c.width), double(c.height)};
    auto include = [&](double x, double y) {
        c.undistort(&x, &y);
        lo[0] = std::min(lo[0], x);
        lo[1] = std::min(lo[1], y);
        hi[0] = std::max(hi[0], x);
        hi[1] = std::max(hi[1], y);
    };
    for (int x = 0; x <= c.width; ++x) {
        include(x, 0);
        include(x, c.height);
    }
    for (int y = 0; y <= c.height; ++y) {
        include(0, y);
        include(c.width, y);
    }
    // A few pixels to spare for the resampling kernel.
    const int left = int(std::floor(lo[0])) - 4, top = int(std::floor(lo[1])) - 4;
    b.width = int(std::ceil(hi[0])) + 4 - left;
    b.height = int(std::ceil(hi[1])) + 4 - top;
    b.offsetX = -left;
    b.offsetY = -top;
    return b;
}

bool SurveyRenderer::render(const SurveyCamera& c, cv::Mat* photo, std::string* error)
{
    const Buffer b = bufferFor(c);
    if (!m_viewer || b.width != m_width || b.height != m_height) {
        *error = "photo size differs from the off-screen buffer";
        return false;
    }
    SurveyCamera pinhole = c;
    pinhole.k1 = pinhole.k2 = 0;
    pinhole.width = b.width;
    pinhole.height = b.height;
    pinhole.cx += b.offsetX;
    pinhole.cy += b.offsetY;
    osg::Camera* camera = m_viewer->getCamera();
    camera->setProjectionMatrix(projection(pinhole, 0.5, 2000));
    camera->setViewMatrix(view(pinhole));
    m_viewer->frame();
    cv::Mat rgb(m_height, m_width, CV_8UC3, m_image->data());
    cv::Mat frame;
    cv::flip(rgb, frame, 0); // OpenGL rows run bottom-up
    cv::cvtColor(frame, frame, cv::COLOR_RGB2BGR);
    if (c.k1 == 0 && c.k2 == 0) {
        *photo = frame;
        return true;
    }
    // Each photo pixel takes the colour its ray has in the pinhole frame
    // (pixel centres at half-integers, OpenCV's at integers).
    cv::Mat mapX(c.height, c.width, CV_32F), mapY(c.height, c.width, CV_32F);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            double u = x + 0.5, v = y + 0.5;
            c.undistort(&u, &v);
            mapX.at<float>(y, x) = float(u + b.offsetX - 0.5);
            mapY.at<float>(y, x) = float(v + b.offsetY - 0.5);
        }
    cv::remap(frame, *photo, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    return true;
}
