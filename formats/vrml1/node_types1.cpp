// The VRML 1.0 standard's node types, and the Inventor nodes its files use,
// with every field a file may give; and the field type names of both.

#include <array>
#include <utility>

#include "formats/node_table.h"
#include "formats/vrml1/node_types1.h"

namespace tessel::vrml {

namespace {

using ft = field_type;
using nk = node_kind;

const std::vector<std::pair<const char*, ft>> shape_index_fields = {
    {"coordIndex", ft::mf_long},
    {"materialIndex", ft::mf_long},
    {"normalIndex", ft::mf_long},
    {"textureCoordIndex", ft::mf_long},
    {"vertexProperty", ft::sf_node},
};

const std::vector<std::pair<const char*, ft>> light_fields = {
    {"on", ft::sf_bool}, {"intensity", ft::sf_float}, {"color", ft::sf_color},
    {"location", ft::sf_vec3f}, {"direction", ft::sf_vec3f}, {"dropOffRate", ft::sf_float},
    {"cutOffAngle", ft::sf_float},
};

const std::vector<std::pair<const char*, ft>> camera_fields = {
    {"position", ft::sf_vec3f},      {"orientation", ft::sf_rotation}, {"focalDistance", ft::sf_float},
    {"heightAngle", ft::sf_float},   {"height", ft::sf_float},         {"aspectRatio", ft::sf_float},
    {"nearDistance", ft::sf_float},  {"farDistance", ft::sf_float},    {"viewportMapping", ft::sf_enum},
};

const std::vector<std::pair<const char*, ft>> separator_fields = {
    {"renderCulling", ft::sf_enum},
    {"renderCaching", ft::sf_enum},
    {"boundingBoxCaching", ft::sf_enum},
    {"pickCulling", ft::sf_enum},
};

std::vector<type_spec> specs() {
    return {
        {"Separator", nk::separator, true, separator_fields},
        {"Selection", nk::separator, true, separator_fields},  // Inventor: a Separator that picks
        {"TransformSeparator", nk::transform_separator, true, {}},
        {"Group", nk::group, true, {}},
        {"Switch", nk::switch_group, true, {{"whichChild", ft::sf_long}}},
        {"LOD", nk::lod, true, {{"range", ft::mf_float}, {"center", ft::sf_vec3f}}},
        {"LevelOfDetail", nk::lod, true, {{"screenArea", ft::mf_float}}},
        {"WWWAnchor", nk::www_anchor, true,
         {{"name", ft::sf_string}, {"description", ft::sf_string}, {"map", ft::sf_enum}}},
        {"WWWInline", nk::www_inline, false,
         {{"name", ft::sf_string}, {"bboxSize", ft::sf_vec3f}, {"bboxCenter", ft::sf_vec3f}}},
        {"Info", nk::quiet, false, {{"string", ft::sf_string}}},
        {"Coordinate3", nk::coordinate3, false, {{"point", ft::mf_vec3f}}},
        {"Material", nk::material, false,
         {{"ambientColor", ft::mf_color},
          {"diffuseColor", ft::mf_color},
          {"specularColor", ft::mf_color},
          {"emissiveColor", ft::mf_color},
          {"shininess", ft::mf_float},
          {"transparency", ft::mf_float}}},
        {"BaseColor", nk::base_color, false, {{"rgb", ft::mf_color}}},
        {"MaterialBinding", nk::material_binding, false, {{"value", ft::sf_enum}}},
        {"Normal", nk::normal, false, {{"vector", ft::mf_vec3f}}},
        {"NormalBinding", nk::normal_binding, false, {{"value", ft::sf_enum}}},
        {"ShapeHints", nk::shape_hints, false,
         {{"vertexOrdering", ft::sf_enum},
          {"shapeType", ft::sf_enum},
          {"faceType", ft::sf_enum},
          {"creaseAngle", ft::sf_float}}},
        {"Transform", nk::transform, false,
         {{"translation", ft::sf_vec3f},
          {"rotation", ft::sf_rotation},
          {"scaleFactor", ft::sf_vec3f},
          {"scaleOrientation", ft::sf_rotation},
          {"center", ft::sf_vec3f}}},
        {"Translation", nk::translation, false, {{"translation", ft::sf_vec3f}}},
        {"Rotation", nk::rotation, false, {{"rotation", ft::sf_rotation}}},
        {"Scale", nk::scale, false, {{"scaleFactor", ft::sf_vec3f}}},
        {"MatrixTransform", nk::matrix_transform, false, {{"matrix", ft::sf_matrix}}},
        {"RotationXYZ", nk::rotation_xyz, false, {{"axis", ft::sf_enum}, {"angle", ft::sf_float}}},
        {"IndexedFaceSet", nk::indexed_face_set, false, shape_index_fields},
        {"IndexedLineSet", nk::indexed_line_set, false, shape_index_fields},
        {"PointSet", nk::point_set, false,
         {{"startIndex", ft::sf_long}, {"numPoints", ft::sf_long}, {"vertexProperty", ft::sf_node}}},
        {"Cube", nk::cube, false, {{"width", ft::sf_float}, {"height", ft::sf_float}, {"depth", ft::sf_float}}},
        {"Sphere", nk::sphere, false, {{"radius", ft::sf_float}}},
        {"Cone", nk::cone, false, {{"parts", ft::sf_bitmask}, {"bottomRadius", ft::sf_float}, {"height", ft::sf_float}}},
        {"Cylinder", nk::cylinder, false, {{"parts", ft::sf_bitmask}, {"radius", ft::sf_float}, {"height", ft::sf_float}}},
        // Read and kept for the readers of textures, lights, cameras and text.
        {"Texture2", nk::texture2, false,
         {{"filename", ft::sf_string},
          {"image", ft::sf_image},
          {"wrapS", ft::sf_enum},
          {"wrapT", ft::sf_enum},
          {"model", ft::sf_enum},
          {"blendColor", ft::sf_color}}},
        {"Texture2Transform", nk::texture2_transform, false,
         {{"translation", ft::sf_vec2f}, {"rotation", ft::sf_float}, {"scaleFactor", ft::sf_vec2f}, {"center", ft::sf_vec2f}}},
        {"TextureCoordinate2", nk::texture_coordinate2, false, {{"point", ft::mf_vec2f}}},
        {"DirectionalLight", nk::light, false, light_fields},
        {"PointLight", nk::light, false, light_fields},
        {"SpotLight", nk::light, false, light_fields},
        {"PerspectiveCamera", nk::camera, false, camera_fields},
        {"OrthographicCamera", nk::camera, false, camera_fields},
        {"AsciiText", nk::ascii_text, false,
         {{"string", ft::mf_string}, {"spacing", ft::sf_float}, {"justification", ft::sf_enum}, {"width", ft::mf_float}}},
        {"FontStyle", nk::font_style, false, {{"size", ft::sf_float}, {"family", ft::sf_enum}, {"style", ft::sf_bitmask}}},
        // Inventor appearance nodes that change nothing a viewer of shapes needs.
        {"Complexity", nk::quiet, false, {{"type", ft::sf_enum}, {"value", ft::sf_float}, {"textureQuality", ft::sf_float}}},
        {"DrawStyle", nk::quiet, false,
         {{"style", ft::sf_enum}, {"pointSize", ft::sf_float}, {"lineWidth", ft::sf_float}, {"linePattern", ft::sf_long}}},
        {"LightModel", nk::quiet, false, {{"model", ft::sf_enum}}},
        {"Label", nk::quiet, false, {{"label", ft::sf_string}}},
        {"VertexProperty", nk::quiet, false,
         {{"vertex", ft::mf_vec3f},
          {"normal", ft::mf_vec3f},
          {"texCoord", ft::mf_vec2f},
          {"orderedRGBA", ft::mf_long},
          {"materialBinding", ft::sf_enum},
          {"normalBinding", ft::sf_enum}}},
    };
}

}  // namespace

const node_type* vrml1_node_type(std::string_view name) {
    static const node_table table(specs());
    return table.find(name);
}

bool field_type_named(std::string_view name, field_type& type) {
    static const std::array<std::pair<std::string_view, ft>, 27> names = {{
        {"SFBool", ft::sf_bool},       {"SFColor", ft::sf_color},     {"SFEnum", ft::sf_enum},
        {"SFFloat", ft::sf_float},     {"SFImage", ft::sf_image},     {"SFLong", ft::sf_long},
        {"SFMatrix", ft::sf_matrix},   {"SFRotation", ft::sf_rotation}, {"SFString", ft::sf_string},
        {"SFVec2f", ft::sf_vec2f},     {"SFVec3f", ft::sf_vec3f},     {"SFBitMask", ft::sf_bitmask},
        {"SFNode", ft::sf_node},       {"MFColor", ft::mf_color},     {"MFFloat", ft::mf_float},
        {"MFLong", ft::mf_long},       {"MFString", ft::mf_string},   {"MFVec2f", ft::mf_vec2f},
        {"MFVec3f", ft::mf_vec3f},     {"SFInt32", ft::sf_long},      {"MFInt32", ft::mf_long},
        {"SFUInt32", ft::sf_long},     {"MFUInt32", ft::mf_long},     {"SFShort", ft::sf_long},
        {"SFUShort", ft::sf_long},     {"SFName", ft::sf_string},     {"MFName", ft::mf_string},
    }};
    return field_type_in(names, name, type);
}


}  // namespace tessel::vrml
