#include <algorithm>
#include <array>
#include <unordered_map>
#include <utility>

#include "formats/node_table.h"
#include "formats/vrml97/node_types2.h"

namespace tessel::vrml {

namespace {

using ft = field_type;
using nk = node_kind;

using field_list = std::vector<std::pair<const char*, ft>>;

field_list with(field_list a, const field_list& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const field_list bounded_children = {
    {"children", ft::mf_node}, {"bboxCenter", ft::sf_vec3f}, {"bboxSize", ft::sf_vec3f}};

const field_list light_fields = {
    {"ambientIntensity", ft::sf_float}, {"color", ft::sf_color}, {"intensity", ft::sf_float}, {"on", ft::sf_bool}};

const field_list interpolator_fields = {{"key", ft::mf_float}};

std::vector<type_spec> specs() {
    return {
        // grouping nodes
        {"Anchor", nk::v2_group, false,
         with(bounded_children, {{"description", ft::sf_string}, {"parameter", ft::mf_string}, {"url", ft::mf_string}})},
        {"Billboard", nk::v2_group, false, with(bounded_children, {{"axisOfRotation", ft::sf_vec3f}})},
        {"Collision", nk::v2_group, false, with(bounded_children, {{"collide", ft::sf_bool}, {"proxy", ft::sf_node}})},
        {"Group", nk::v2_group, false, bounded_children},
        {"Transform", nk::v2_transform, false,
         with(bounded_children, {{"center", ft::sf_vec3f},
                                 {"rotation", ft::sf_rotation},
                                 {"scale", ft::sf_vec3f},
                                 {"scaleOrientation", ft::sf_rotation},
                                 {"translation", ft::sf_vec3f}})},
        {"Switch", nk::v2_switch, false, {{"choice", ft::mf_node}, {"whichChoice", ft::sf_long}}},
        {"LOD", nk::v2_lod, false, {{"level", ft::mf_node}, {"center", ft::sf_vec3f}, {"range", ft::mf_float}}},
        {"Inline", nk::v2_inline, false, {{"url", ft::mf_string}, {"bboxCenter", ft::sf_vec3f}, {"bboxSize", ft::sf_vec3f}}},
        // shapes and what they are made of
        {"Shape", nk::v2_shape, false, {{"appearance", ft::sf_node}, {"geometry", ft::sf_node}}},
        {"Appearance", nk::v2_appearance, false,
         {{"material", ft::sf_node}, {"texture", ft::sf_node}, {"textureTransform", ft::sf_node}}},
        {"Material", nk::v2_material, false,
         {{"ambientIntensity", ft::sf_float},
          {"diffuseColor", ft::sf_color},
          {"emissiveColor", ft::sf_color},
          {"shininess", ft::sf_float},
          {"specularColor", ft::sf_color},
          {"transparency", ft::sf_float}}},
        {"ImageTexture", nk::v2_image_texture, false, {{"url", ft::mf_string}, {"repeatS", ft::sf_bool}, {"repeatT", ft::sf_bool}}},
        {"PixelTexture", nk::v2_pixel_texture, false, {{"image", ft::sf_image}, {"repeatS", ft::sf_bool}, {"repeatT", ft::sf_bool}}},
        // Moving pictures are not played: the shape is drawn untextured.
        {"MovieTexture", nk::quiet, false,
         {{"loop", ft::sf_bool},
          {"speed", ft::sf_float},
          {"startTime", ft::sf_time},
          {"stopTime", ft::sf_time},
          {"url", ft::mf_string},
          {"repeatS", ft::sf_bool},
          {"repeatT", ft::sf_bool}}},
        {"TextureTransform", nk::v2_texture_transform, false,
         {{"center", ft::sf_vec2f}, {"rotation", ft::sf_float}, {"scale", ft::sf_vec2f}, {"translation", ft::sf_vec2f}}},
        {"IndexedFaceSet", nk::v2_indexed_face_set, false,
         {{"color", ft::sf_node},
          {"coord", ft::sf_node},
          {"normal", ft::sf_node},
          {"texCoord", ft::sf_node},
          {"ccw", ft::sf_bool},
          {"colorIndex", ft::mf_long},
          {"colorPerVertex", ft::sf_bool},
          {"convex", ft::sf_bool},
          {"coordIndex", ft::mf_long},
          {"creaseAngle", ft::sf_float},
          {"normalIndex", ft::mf_long},
          {"normalPerVertex", ft::sf_bool},
          {"solid", ft::sf_bool},
          {"texCoordIndex", ft::mf_long}}},
        {"IndexedLineSet", nk::v2_indexed_line_set, false,
         {{"color", ft::sf_node},
          {"coord", ft::sf_node},
          {"colorIndex", ft::mf_long},
          {"colorPerVertex", ft::sf_bool},
          {"coordIndex", ft::mf_long}}},
        {"PointSet", nk::v2_point_set, false, {{"color", ft::sf_node}, {"coord", ft::sf_node}}},
        {"Box", nk::v2_box, false, {{"size", ft::sf_vec3f}}},
        {"Sphere", nk::v2_sphere, false, {{"radius", ft::sf_float}}},
        {"Cone", nk::v2_cone, false,
         {{"bottomRadius", ft::sf_float}, {"height", ft::sf_float}, {"side", ft::sf_bool}, {"bottom", ft::sf_bool}}},
        {"Cylinder", nk::v2_cylinder, false,
         {{"bottom", ft::sf_bool},
          {"height", ft::sf_float},
          {"radius", ft::sf_float},
          {"side", ft::sf_bool},
          {"top", ft::sf_bool}}},
        {"ElevationGrid", nk::v2_elevation_grid, false,
         {{"color", ft::sf_node},
          {"normal", ft::sf_node},
          {"texCoord", ft::sf_node},
          {"height", ft::mf_float},
          {"ccw", ft::sf_bool},
          {"colorPerVertex", ft::sf_bool},
          {"creaseAngle", ft::sf_float},
          {"normalPerVertex", ft::sf_bool},
          {"solid", ft::sf_bool},
          {"xDimension", ft::sf_long},
          {"xSpacing", ft::sf_float},
          {"zDimension", ft::sf_long},
          {"zSpacing", ft::sf_float}}},
        {"Extrusion", nk::v2_extrusion, false,
         {{"beginCap", ft::sf_bool},
          {"ccw", ft::sf_bool},
          {"convex", ft::sf_bool},
          {"creaseAngle", ft::sf_float},
          {"crossSection", ft::mf_vec2f},
          {"endCap", ft::sf_bool},
          {"orientation", ft::mf_rotation},
          {"scale", ft::mf_vec2f},
          {"solid", ft::sf_bool},
          {"spine", ft::mf_vec3f}}},
        {"Text", nk::v2_text, false,
         {{"string", ft::mf_string}, {"fontStyle", ft::sf_node}, {"length", ft::mf_float}, {"maxExtent", ft::sf_float}}},
        {"FontStyle", nk::v2_font_style, false,
         {{"family", ft::mf_string},
          {"horizontal", ft::sf_bool},
          {"justify", ft::mf_string},
          {"language", ft::sf_string},
          {"leftToRight", ft::sf_bool},
          {"size", ft::sf_float},
          {"spacing", ft::sf_float},
          {"style", ft::sf_string},
          {"topToBottom", ft::sf_bool}}},
        {"Coordinate", nk::v2_coordinate, false, {{"point", ft::mf_vec3f}}},
        {"Color", nk::v2_color, false, {{"color", ft::mf_color}}},
        {"Normal", nk::v2_normal, false, {{"vector", ft::mf_vec3f}}},
        {"TextureCoordinate", nk::v2_texture_coordinate, false, {{"point", ft::mf_vec2f}}},
        // lights and the world around the shapes
        {"DirectionalLight", nk::v2_directional_light, false, with(light_fields, {{"direction", ft::sf_vec3f}})},
        {"PointLight", nk::v2_point_light, false,
         with(light_fields, {{"attenuation", ft::sf_vec3f}, {"location", ft::sf_vec3f}, {"radius", ft::sf_float}})},
        {"SpotLight", nk::v2_spot_light, false,
         with(light_fields, {{"attenuation", ft::sf_vec3f},
                             {"beamWidth", ft::sf_float},
                             {"cutOffAngle", ft::sf_float},
                             {"direction", ft::sf_vec3f},
                             {"location", ft::sf_vec3f},
                             {"radius", ft::sf_float}})},
        {"Viewpoint", nk::v2_viewpoint, false,
         {{"fieldOfView", ft::sf_float},
          {"jump", ft::sf_bool},
          {"orientation", ft::sf_rotation},
          {"position", ft::sf_vec3f},
          {"description", ft::sf_string}}},
        {"Background", nk::v2_background, false,
         {{"groundAngle", ft::mf_float},
          {"groundColor", ft::mf_color},
          {"backUrl", ft::mf_string},
          {"bottomUrl", ft::mf_string},
          {"frontUrl", ft::mf_string},
          {"leftUrl", ft::mf_string},
          {"rightUrl", ft::mf_string},
          {"topUrl", ft::mf_string},
          {"skyAngle", ft::mf_float},
          {"skyColor", ft::mf_color}}},
        {"NavigationInfo", nk::v2_navigation_info, false,
         {{"avatarSize", ft::mf_float},
          {"headlight", ft::sf_bool},
          {"speed", ft::sf_float},
          {"type", ft::mf_string},
          {"visibilityLimit", ft::sf_float}}},
        // Read so that their names and fields parse; the scene shown is the
        // one at time 0, so none of them changes the picture.
        {"WorldInfo", nk::quiet, false, {{"info", ft::mf_string}, {"title", ft::sf_string}}},
        {"Fog", nk::quiet, false, {{"color", ft::sf_color}, {"fogType", ft::sf_string}, {"visibilityRange", ft::sf_float}}},
        {"Script", nk::quiet, false, {{"url", ft::mf_string}, {"directOutput", ft::sf_bool}, {"mustEvaluate", ft::sf_bool}}},
        {"TimeSensor", nk::quiet, false,
         {{"cycleInterval", ft::sf_time},
          {"enabled", ft::sf_bool},
          {"loop", ft::sf_bool},
          {"startTime", ft::sf_time},
          {"stopTime", ft::sf_time}}},
        {"TouchSensor", nk::quiet, false, {{"enabled", ft::sf_bool}}},
        {"PlaneSensor", nk::quiet, false,
         {{"autoOffset", ft::sf_bool},
          {"enabled", ft::sf_bool},
          {"maxPosition", ft::sf_vec2f},
          {"minPosition", ft::sf_vec2f},
          {"offset", ft::sf_vec3f}}},
        {"CylinderSensor", nk::quiet, false,
         {{"autoOffset", ft::sf_bool},
          {"diskAngle", ft::sf_float},
          {"enabled", ft::sf_bool},
          {"maxAngle", ft::sf_float},
          {"minAngle", ft::sf_float},
          {"offset", ft::sf_float}}},
        {"SphereSensor", nk::quiet, false, {{"autoOffset", ft::sf_bool}, {"enabled", ft::sf_bool}, {"offset", ft::sf_rotation}}},
        {"ProximitySensor", nk::quiet, false, {{"center", ft::sf_vec3f}, {"size", ft::sf_vec3f}, {"enabled", ft::sf_bool}}},
        {"VisibilitySensor", nk::quiet, false, {{"center", ft::sf_vec3f}, {"enabled", ft::sf_bool}, {"size", ft::sf_vec3f}}},
        {"ColorInterpolator", nk::quiet, false, with(interpolator_fields, {{"keyValue", ft::mf_color}})},
        {"CoordinateInterpolator", nk::quiet, false, with(interpolator_fields, {{"keyValue", ft::mf_vec3f}})},
        {"NormalInterpolator", nk::quiet, false, with(interpolator_fields, {{"keyValue", ft::mf_vec3f}})},
        {"OrientationInterpolator", nk::quiet, false, with(interpolator_fields, {{"keyValue", ft::mf_rotation}})},
        {"PositionInterpolator", nk::quiet, false, with(interpolator_fields, {{"keyValue", ft::mf_vec3f}})},
        {"ScalarInterpolator", nk::quiet, false, with(interpolator_fields, {{"keyValue", ft::mf_float}})},
        {"AudioClip", nk::quiet, false,
         {{"description", ft::sf_string},
          {"loop", ft::sf_bool},
          {"pitch", ft::sf_float},
          {"startTime", ft::sf_time},
          {"stopTime", ft::sf_time},
          {"url", ft::mf_string}}},
        {"Sound", nk::quiet, false,
         {{"direction", ft::sf_vec3f},
          {"intensity", ft::sf_float},
          {"location", ft::sf_vec3f},
          {"maxBack", ft::sf_float},
          {"maxFront", ft::sf_float},
          {"minBack", ft::sf_float},
          {"minFront", ft::sf_float},
          {"priority", ft::sf_float},
          {"source", ft::sf_node},
          {"spatialize", ft::sf_bool}}},
    };
}

// The fields X3D gave the VRML97 nodes. Most change nothing in a still
// picture (transitions, pausing, bounding box display) but real files give
// them, and each would otherwise be a warning.
std::unordered_map<std::string_view, field_list> x3d_additions() {
    const field_list grouping = {{"bboxDisplay", ft::sf_bool}, {"visible", ft::sf_bool}};
    const field_list composed = {{"attrib", ft::mf_node}, {"fogCoord", ft::sf_node}};
    const field_list light = {{"global", ft::sf_bool}, {"shadows", ft::sf_bool}, {"shadowIntensity", ft::sf_float}};
    const field_list texture = {{"textureProperties", ft::sf_node}, {"description", ft::sf_string}};
    const field_list viewpoint = {{"centerOfRotation", ft::sf_vec3f},
                                  {"retainUserOffsets", ft::sf_bool},
                                  {"nearDistance", ft::sf_float},
                                  {"farDistance", ft::sf_float},
                                  {"viewAll", ft::sf_bool}};
    const field_list timed = {{"pauseTime", ft::sf_time}, {"resumeTime", ft::sf_time}};
    const field_list solid = {{"solid", ft::sf_bool}};
    const field_list sensor = {{"description", ft::sf_string}};
    return {
        {"Anchor", grouping},
        {"Billboard", grouping},
        {"Collision", with(grouping, {{"enabled", ft::sf_bool}})},
        {"Group", grouping},
        {"Transform", grouping},
        // X3D calls the choices and levels children.
        {"Switch", with(grouping, {{"children", ft::mf_node}, {"bboxCenter", ft::sf_vec3f}, {"bboxSize", ft::sf_vec3f}})},
        {"LOD", with(grouping, {{"children", ft::mf_node},
                                {"forceTransitions", ft::sf_bool},
                                {"bboxCenter", ft::sf_vec3f},
                                {"bboxSize", ft::sf_vec3f}})},
        {"Inline", with(grouping, {{"load", ft::sf_bool}, {"global", ft::sf_bool}})},
        {"Shape", with(grouping, {{"bboxCenter", ft::sf_vec3f}, {"bboxSize", ft::sf_vec3f}, {"castShadow", ft::sf_bool}})},
        {"Appearance", {{"fillProperties", ft::sf_node},
                        {"lineProperties", ft::sf_node},
                        {"pointProperties", ft::sf_node},
                        {"shaders", ft::mf_node},
                        {"backMaterial", ft::sf_node},
                        {"alphaMode", ft::sf_string},
                        {"alphaCutoff", ft::sf_float}}},
        {"ImageTexture", texture},
        {"PixelTexture", texture},
        {"MovieTexture", with(with(texture, timed), {{"pitch", ft::sf_float}})},
        {"IndexedFaceSet", composed},
        {"IndexedLineSet", composed},
        {"PointSet", composed},
        {"ElevationGrid", composed},
        {"Box", solid},
        {"Sphere", solid},
        {"Cone", solid},
        {"Cylinder", solid},
        {"Text", solid},
        {"DirectionalLight", light},
        {"PointLight", light},
        {"SpotLight", light},
        {"Viewpoint", viewpoint},
        {"NavigationInfo", {{"transitionType", ft::mf_string}, {"transitionTime", ft::sf_time}}},
        {"Background", {{"transparency", ft::sf_float}}},
        {"TimeSensor", timed},
        {"AudioClip", timed},
        {"TouchSensor", sensor},
        {"PlaneSensor", with(sensor, {{"axisRotation", ft::sf_rotation}})},
        {"CylinderSensor", with(sensor, {{"axisRotation", ft::sf_rotation}})},
        {"SphereSensor", sensor},
    };
}

// The values a composed geometry node (the triangle and quad sets) gives.
field_list composed_geometry(field_list own) {
    return with(std::move(own), {{"color", ft::sf_node},
                                 {"coord", ft::sf_node},
                                 {"normal", ft::sf_node},
                                 {"texCoord", ft::sf_node},
                                 {"attrib", ft::mf_node},
                                 {"fogCoord", ft::sf_node},
                                 {"ccw", ft::sf_bool},
                                 {"colorPerVertex", ft::sf_bool},
                                 {"normalPerVertex", ft::sf_bool},
                                 {"solid", ft::sf_bool}});
}

// Nodes X3D added that change the picture, or that files give so often
// (metadata) that they are read quietly.
std::vector<type_spec> x3d_only_specs() {
    const field_list grouping = with(bounded_children, {{"bboxDisplay", ft::sf_bool}, {"visible", ft::sf_bool}});
    const field_list metadata = {{"name", ft::sf_string}, {"reference", ft::sf_string}};
    const auto material_textures = [](std::initializer_list<const char*> names) {
        field_list out;
        for (const char* n : names) {
            out.push_back({n, ft::sf_node});
        }
        return out;
    };
    return {
        {"IndexedTriangleSet", nk::x3d_face_sets, false, composed_geometry({{"index", ft::mf_long}})},
        {"TriangleSet", nk::x3d_face_sets, false, composed_geometry({})},
        {"IndexedTriangleFanSet", nk::x3d_face_sets, false, composed_geometry({{"index", ft::mf_long}})},
        {"TriangleFanSet", nk::x3d_face_sets, false, composed_geometry({{"fanCount", ft::mf_long}})},
        {"IndexedTriangleStripSet", nk::x3d_face_sets, false, composed_geometry({{"index", ft::mf_long}})},
        {"TriangleStripSet", nk::x3d_face_sets, false, composed_geometry({{"stripCount", ft::mf_long}})},
        {"IndexedQuadSet", nk::x3d_face_sets, false, composed_geometry({{"index", ft::mf_long}})},
        {"QuadSet", nk::x3d_face_sets, false, composed_geometry({})},
        {"LineSet", nk::x3d_line_set, false,
         {{"color", ft::sf_node},
          {"coord", ft::sf_node},
          {"vertexCount", ft::mf_long},
          {"attrib", ft::mf_node},
          {"fogCoord", ft::sf_node}}},
        {"ColorRGBA", nk::x3d_color_rgba, false, {{"color", ft::mf_color_rgba}}},
        {"StaticGroup", nk::v2_group, false, bounded_children},
        {"CADAssembly", nk::v2_group, false, with(grouping, {{"name", ft::sf_string}})},
        {"CADLayer", nk::v2_group, false, with(grouping, {{"name", ft::sf_string}, {"visible", ft::mf_bool}})},
        {"CADPart", nk::v2_transform, false,
         with(grouping, {{"name", ft::sf_string},
                         {"center", ft::sf_vec3f},
                         {"rotation", ft::sf_rotation},
                         {"scale", ft::sf_vec3f},
                         {"scaleOrientation", ft::sf_rotation},
                         {"translation", ft::sf_vec3f}})},
        {"CADFace", nk::x3d_cad_face, false,
         {{"name", ft::sf_string},
          {"shape", ft::sf_node},
          {"bboxCenter", ft::sf_vec3f},
          {"bboxSize", ft::sf_vec3f},
          {"bboxDisplay", ft::sf_bool},
          {"visible", ft::sf_bool}}},
        // fieldOfView: the view's extent, xmin ymin xmax ymax.
        {"OrthoViewpoint", nk::v2_viewpoint, false,
         {{"fieldOfView", ft::mf_float},
          {"jump", ft::sf_bool},
          {"orientation", ft::sf_rotation},
          {"position", ft::sf_vec3f},
          {"description", ft::sf_string},
          {"centerOfRotation", ft::sf_vec3f},
          {"retainUserOffsets", ft::sf_bool},
          {"nearDistance", ft::sf_float},
          {"farDistance", ft::sf_float},
          {"viewAll", ft::sf_bool}}},
        // The other materials stand where a Material does; the walk turns
        // each into the values of a Material.
        {"TwoSidedMaterial", nk::v2_material, false,
         {{"ambientIntensity", ft::sf_float},
          {"backAmbientIntensity", ft::sf_float},
          {"backDiffuseColor", ft::sf_color},
          {"backEmissiveColor", ft::sf_color},
          {"backShininess", ft::sf_float},
          {"backSpecularColor", ft::sf_color},
          {"backTransparency", ft::sf_float},
          {"diffuseColor", ft::sf_color},
          {"emissiveColor", ft::sf_color},
          {"shininess", ft::sf_float},
          {"separateBackColor", ft::sf_bool},
          {"specularColor", ft::sf_color},
          {"transparency", ft::sf_float}}},
        {"PhysicalMaterial", nk::v2_material, false,
         with(material_textures({"baseTexture", "emissiveTexture", "metallicRoughnessTexture", "normalTexture",
                                 "occlusionTexture"}),
              {{"baseColor", ft::sf_color},
               {"emissiveColor", ft::sf_color},
               {"metallic", ft::sf_float},
               {"roughness", ft::sf_float},
               {"normalScale", ft::sf_float},
               {"occlusionStrength", ft::sf_float},
               {"transparency", ft::sf_float},
               {"baseTextureMapping", ft::sf_string},
               {"emissiveTextureMapping", ft::sf_string},
               {"metallicRoughnessTextureMapping", ft::sf_string},
               {"normalTextureMapping", ft::sf_string},
               {"occlusionTextureMapping", ft::sf_string}})},
        {"UnlitMaterial", nk::v2_material, false,
         with(material_textures({"emissiveTexture", "normalTexture"}),
              {{"emissiveColor", ft::sf_color},
               {"normalScale", ft::sf_float},
               {"transparency", ft::sf_float},
               {"emissiveTextureMapping", ft::sf_string},
               {"normalTextureMapping", ft::sf_string}})},
        {"MetadataBoolean", nk::quiet, false, with(metadata, {{"value", ft::mf_bool}})},
        {"MetadataDouble", nk::quiet, false, with(metadata, {{"value", ft::mf_float}})},
        {"MetadataFloat", nk::quiet, false, with(metadata, {{"value", ft::mf_float}})},
        {"MetadataInteger", nk::quiet, false, with(metadata, {{"value", ft::mf_long}})},
        {"MetadataSet", nk::quiet, false, with(metadata, {{"value", ft::mf_node}})},
        {"MetadataString", nk::quiet, false, with(metadata, {{"value", ft::mf_string}})},
        {"TextureProperties", nk::quiet, false,
         {{"anisotropicDegree", ft::sf_float},
          {"borderColor", ft::sf_color_rgba},
          {"borderWidth", ft::sf_long},
          {"boundaryModeR", ft::sf_string},
          {"boundaryModeS", ft::sf_string},
          {"boundaryModeT", ft::sf_string},
          {"magnificationFilter", ft::sf_string},
          {"minificationFilter", ft::sf_string},
          {"textureCompression", ft::sf_string},
          {"texturePriority", ft::sf_float},
          {"generateMipMaps", ft::sf_bool}}},
    };
}

std::vector<type_spec> x3d_specs() {
    std::vector<type_spec> out = specs();
    const std::unordered_map<std::string_view, field_list> added = x3d_additions();
    for (type_spec& spec : out) {
        if (const auto found = added.find(spec.name); found != added.end())
            for (const auto& field : found->second) {
                // A field both have (bboxCenter) is kept once.
                const bool known = std::any_of(spec.fields.begin(), spec.fields.end(),
                                               [&](const auto& f) { return std::string_view(f.first) == field.first; });
                if (!known) spec.fields.push_back(field);
            }
    }
    for (type_spec& spec : x3d_only_specs()) out.push_back(std::move(spec));
    // Every X3D node may carry metadata, which says nothing this viewer shows.
    for (type_spec& spec : out) spec.fields.push_back({"metadata", ft::sf_node});
    return out;
}

}  // namespace

const node_type* vrml2_node_type(std::string_view name) {
    static const node_table table(specs());
    return table.find(name);
}

const node_type* x3d_node_type(std::string_view name) {
    static const node_table table(x3d_specs());
    return table.find(name);
}

bool vrml2_field_type_named(std::string_view name, field_type& type, bool x3d) {
    static const std::array<std::pair<std::string_view, ft>, 20> names = {{
        {"SFBool", ft::sf_bool},         {"SFColor", ft::sf_color},   {"SFFloat", ft::sf_float},
        {"SFImage", ft::sf_image},       {"SFInt32", ft::sf_long},    {"SFNode", ft::sf_node},
        {"SFRotation", ft::sf_rotation}, {"SFString", ft::sf_string}, {"SFTime", ft::sf_time},
        {"SFVec2f", ft::sf_vec2f},       {"SFVec3f", ft::sf_vec3f},   {"MFColor", ft::mf_color},
        {"MFFloat", ft::mf_float},       {"MFInt32", ft::mf_long},    {"MFNode", ft::mf_node},
        {"MFRotation", ft::mf_rotation}, {"MFString", ft::mf_string}, {"MFTime", ft::mf_time},
        {"MFVec2f", ft::mf_vec2f},       {"MFVec3f", ft::mf_vec3f},
    }};
    // Doubles are read as floats: what they place is drawn in single
    // precision anyway.
    static const std::array<std::pair<std::string_view, ft>, 13> x3d_names = {{
        {"SFDouble", ft::sf_float},          {"MFDouble", ft::mf_float},          {"SFVec2d", ft::sf_vec2f},
        {"MFVec2d", ft::mf_vec2f},           {"SFVec3d", ft::sf_vec3f},           {"MFVec3d", ft::mf_vec3f},
        {"SFColorRGBA", ft::sf_color_rgba},  {"MFColorRGBA", ft::mf_color_rgba},  {"SFVec4f", ft::sf_vec4f},
        {"MFVec4f", ft::mf_vec4f},           {"SFVec4d", ft::sf_vec4f},           {"MFVec4d", ft::mf_vec4f},
        {"MFBool", ft::mf_bool},
    }};
    return field_type_in(names, name, type) || (x3d && field_type_in(x3d_names, name, type));
}

}  // namespace tessel::vrml
