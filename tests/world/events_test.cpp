// The live world: small VRML97 worlds parsed, run to given times, and the
// fields their events wrote read back from the nodes.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "formats/vrml97/parse2.h"
#include "world/events.h"
#include "world/interpolation.h"

namespace tessel::test {
namespace {

struct live {
    vrml::document doc;
    vrml::warning_list warnings{"w.wrl"};
    std::unique_ptr<vrml::event_world> world;

    // The n-th node of a type, in the order of the file.
    vrml::node& node(const std::string& type, int n = 0) {
        for (vrml::node& v : doc.nodes)
            if (v.type && v.type->name == type && n-- == 0) return v;
        ADD_FAILURE() << "no " << type;
        return doc.nodes.front();
    }
    std::vector<float> numbers(const std::string& type, const std::string& field, int n = 0) {
        return node(type, n).numbers(field);
    }
    bool warned(const std::string& part) const {
        for (const std::string& w : warnings.texts())
            if (w.find(part) != std::string::npos) return true;
        return false;
    }
};

std::unique_ptr<live> load(const std::string& body) {
    auto l = std::make_unique<live>();
    l->doc.file = "w.wrl";
    const std::string text = "#VRML V2.0 utf8\n" + body;
    vrml::parse_vrml2(text.data(), text.data() + text.size(), l->doc, l->warnings);
    l->world = std::make_unique<vrml::event_world>(l->doc, l->warnings);
    return l;
}

void expect_near(const std::vector<float>& got, const std::vector<float>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-4) << what << " [" << i << "]";
}

// A clock of 4 s looping from the load, its fraction sent to one
// interpolator whose value goes to one field.
std::string clocked(const std::string& interpolator, const std::string& target, const std::string& to) {
    return "DEF C TimeSensor { cycleInterval 4 loop TRUE }\n"
           "DEF I " + interpolator + "\n" + target +
           "\nROUTE C.fraction_changed TO I.set_fraction\nROUTE I.value_changed TO " + to + "\n";
}

TEST(Interpolators, EachNodeAtGivenTimes) {
    const std::string shape = "Shape { geometry IndexedFaceSet { coord DEF P Coordinate { point [0 0 0, 1 0 0] } "
                              "normal DEF N Normal { vector [0 0 1] } coordIndex [0 1 0] } }";
    struct row {
        std::string interpolator, target, to, read_type, read_field;
        double time;
        std::vector<float> want;
    } rows[] = {
        {"PositionInterpolator { key [0 1] keyValue [0 0 0, 4 8 0] }", "DEF T Transform {}", "T.set_translation",
         "Transform", "translation", 1, {1, 2, 0}},
        // keys may repeat: a jump at 0.5
        {"PositionInterpolator { key [0 .5 .5 1] keyValue [0 0 0, 1 0 0, 5 0 0, 6 0 0] }", "DEF T Transform {}",
         "T.translation", "Transform", "translation", 3, {5.5, 0, 0}},
        {"ScalarInterpolator { key [0 1] keyValue [1 0] }", "DEF M Material {}", "M.set_transparency", "Material",
         "transparency", 2, {0.5}},
        // before the first key and past the last, the end values hold
        {"ScalarInterpolator { key [.5 .75] keyValue [2 4] }", "DEF M Material {}", "M.set_shininess", "Material",
         "shininess", 1, {2}},
        {"OrientationInterpolator { key [0 1] keyValue [0 1 0 0, 0 1 0 3] }", "DEF T Transform {}", "T.set_rotation",
         "Transform", "rotation", 2, {0, 1, 0, 1.5}},
        // the shorter arc: from +170 to -170 degrees goes through 180, not 0
        {"OrientationInterpolator { key [0 1] keyValue [0 0 1 2.96706, 0 0 1 -2.96706] }", "DEF T Transform {}",
         "T.set_rotation", "Transform", "rotation", 2, {0, 0, 1, 3.14159}},
        // red to blue through magenta, the hue's shorter way
        {"ColorInterpolator { key [0 1] keyValue [1 0 0, 0 0 1] }", "DEF M Material {}", "M.set_diffuseColor",
         "Material", "diffuseColor", 2, {1, 0, 1}},
        {"CoordinateInterpolator { key [0 1] keyValue [0 0 0, 1 0 0, 0 2 0, 1 2 0] }", shape, "P.set_point",
         "Coordinate", "point", 2, {0, 1, 0, 1, 1, 0}},
        {"NormalInterpolator { key [0 1] keyValue [0 0 1, 1 0 0] }", shape, "N.set_vector", "Normal", "vector", 2,
         {0.70711f, 0, 0.70711f}},
    };
    for (const row& r : rows) {
        auto l = load(clocked(r.interpolator, r.target, r.to));
        l->world->advance(0);
        l->world->advance(r.time);
        expect_near(l->numbers(r.read_type, r.read_field), r.want, r.interpolator);
        EXPECT_EQ(l->warnings.count(), 0) << r.interpolator << ": " << l->warnings.texts().front();
    }
}

TEST(Interpolators, BadKeysGiveSoundValuesAndOneWarning) {
    const std::string target = "DEF T Transform {}";
    struct row {
        std::string interpolator;
        std::vector<float> want;  // at fraction 0.5
        std::string warning;
    } rows[] = {
        {"PositionInterpolator { key [0 1] keyValue [2 2 2] }", {2, 2, 2}, "do not match"},
        {"PositionInterpolator { key [0 1 2] keyValue [0 0 0, 2 0 0] }", {1, 0, 0}, "do not match"},
        {"PositionInterpolator { key [1 0] keyValue [0 0 0, 2 0 0] }", {0, 0, 0}, "go back"},
        {"PositionInterpolator { key [0 1] keyValue [] }", {}, "no keyValue"},
    };
    for (const row& r : rows) {
        auto l = load(clocked(r.interpolator, target, "T.translation"));
        for (double t = 0; t <= 2; t += 0.5) l->world->advance(t);
        expect_near(l->numbers("Transform", "translation"), r.want, r.interpolator);
        EXPECT_TRUE(l->warned(r.warning)) << r.interpolator;
        EXPECT_EQ(l->warnings.count(), 1) << r.interpolator;
    }
}

// What a TimeSensor's fraction, activity and ends are at given times.
TEST(TimeSensor, RunsStopsAndWaitsAsItsFieldsSay) {
    struct row {
        std::string fields;
        std::vector<double> ticks;
        float fraction;  // the last fraction sent, -1: none ever
        bool active;
    } rows[] = {
        {"cycleInterval 2 loop TRUE", {0, 1, 2.5}, 0.25f, true},
        {"cycleInterval 2 loop TRUE", {0, 2}, 1.0f, true},  // the end of a cycle is 1, not 0
        {"cycleInterval 2 loop TRUE stopTime 3", {0, 1, 3.5}, 0.5f, false},
        // a one-shot starting after the load plays once and sends 1 at its end
        {"cycleInterval 2 startTime 1", {0, 0.5, 2, 4}, 1.0f, false},
        {"cycleInterval 2 startTime 1", {0, 0.5}, -1, false},
        // a one-shot whose startTime is not after the load waits for one
        {"cycleInterval 2", {0, 1, 2}, -1, false},
        {"cycleInterval 2 loop TRUE enabled FALSE", {0, 1}, -1, false},
        {"cycleInterval 0 loop TRUE", {0, 1}, -1, false},
        {"cycleInterval -1 loop TRUE", {0, 1}, -1, false},
    };
    for (const row& r : rows) {
        auto l = load("DEF C TimeSensor { " + r.fields + " }\n"
                      "DEF S ScalarInterpolator { key [0 1] keyValue [0 1] }\n"
                      "DEF M Material { transparency -1 }\n"
                      "DEF B Material { shininess 0 }\n"
                      "DEF F ScalarInterpolator { key [0 1] keyValue [0 1] }\n"
                      "ROUTE C.fraction_changed TO S.set_fraction\n"
                      "ROUTE S.value_changed TO M.transparency\n"
                      "ROUTE C.isActive TO B.set_shininess\n");
        // isActive is SFBool, shininess SFFloat: that route is refused.
        EXPECT_TRUE(l->warned("the types differ")) << r.fields;
        for (const double t : r.ticks) l->world->advance(t);
        const auto got = l->numbers("Material", "transparency");
        ASSERT_EQ(got.size(), 1u);
        EXPECT_NEAR(got[0], r.fraction, 1e-5) << r.fields;
        EXPECT_EQ(l->world->waiting(), r.active || (r.fields.find("startTime 1") != std::string::npos && r.ticks.back() < 1))
            << r.fields;
    }
}

// Fan-out, fan-in, a loop of routes, and a route on from a field written.
TEST(Routes, CascadeRules) {
    auto l = load("DEF C TimeSensor { loop TRUE cycleInterval 10 }\n"
                  "DEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 10 0 0] }\n"
                  "DEF A Transform {} DEF B Transform {} DEF D Transform {}\n"
                  "DEF Q PositionInterpolator { key [0 1] keyValue [0 5 0, 0 5 0] }\n"
                  "ROUTE C.fraction_changed TO P.set_fraction\n"
                  "ROUTE C.fraction_changed TO Q.set_fraction\n"
                  "ROUTE P.value_changed TO A.set_translation\n"   // fan-out
                  "ROUTE P.value_changed TO B.set_translation\n"
                  "ROUTE A.translation_changed TO B.set_scale\n"   // on from a field written
                  "ROUTE B.translation_changed TO A.set_translation\n"  // a loop: stops at A
                  "ROUTE Q.value_changed TO D.set_translation\n"   // fan-in: both arrive, the one sent
                  "ROUTE P.value_changed TO D.set_translation\n");  // last (Q's, routed later) holds
    const auto& changed = l->world->advance(0);
    l->world->advance(5);
    expect_near(l->numbers("Transform", "translation", 0), {5, 0, 0}, "A");
    expect_near(l->numbers("Transform", "translation", 1), {5, 0, 0}, "B");
    expect_near(l->numbers("Transform", "scale", 1), {5, 0, 0}, "B scale");
    expect_near(l->numbers("Transform", "translation", 2), {0, 5, 0}, "D");
    EXPECT_EQ(changed.size(), 3u);  // A, B and D, each once
    EXPECT_EQ(l->warnings.count(), 0);
}

TEST(Routes, RoutesToNowhereAreWarningsWithTheirPlace) {
    auto l = load("DEF C TimeSensor { loop TRUE }\nDEF T Transform {}\n"
                  "ROUTE C.fraction_changed TO T.set_nothing\n"
                  "ROUTE C.nothing TO T.set_translation\n"
                  "ROUTE Z.x TO T.set_translation\n"
                  "ROUTE C.fraction_changed TO T.set_translation\n"
                  "ROUTE C.fraction_changed\n");
    for (const char* w : {"w.wrl:4:1: Transform has no eventIn \"set_nothing\"",
                          "w.wrl:5:1: TimeSensor has no eventOut \"nothing\"", "w.wrl:6:1: ROUTE names \"Z\"",
                          "w.wrl:7:1: ROUTE from SFFloat TimeSensor.fraction_changed to SFVec3f",
                          "w.wrl:8:1: ROUTE without TO"})
        EXPECT_TRUE(l->warned(w)) << w;
    EXPECT_EQ(l->world->route_count(), 0u);
    EXPECT_FALSE(l->world->lives());
}

TEST(Routes, EventsStartAndStopSensorsAndChildrenComeAndGo) {
    // A's run starts B (B's startTime follows A's time until B runs, then
    // stays); B's fraction moves T. T's children reach G only when they change.
    auto l = load("DEF A TimeSensor { cycleInterval 1 startTime 1 }\n"
                  "DEF B TimeSensor { cycleInterval 2 }\n"
                  "DEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 2 0 0] }\n"
                  "DEF T Transform { children DEF K Shape {} }\n"
                  "DEF G Group {}\n"
                  "ROUTE A.time TO B.set_startTime\n"
                  "ROUTE B.fraction_changed TO P.set_fraction\n"
                  "ROUTE P.value_changed TO T.set_translation\n"
                  "ROUTE T.children TO G.addChildren\n");
    for (double t = 0; t <= 2.001; t += 0.25) l->world->advance(t);
    expect_near(l->numbers("Transform", "translation"), {1, 0, 0}, "B half way at 2 s");
    EXPECT_EQ(l->node("Group").nodes("children").size(), 0u);  // children_changed only when T's children change
    EXPECT_TRUE(l->world->waiting());
    const auto touched = l->world->restart();
    EXPECT_EQ(touched.size(), 2u);  // B and T
    EXPECT_TRUE(l->numbers("Transform", "translation").empty());
    EXPECT_EQ(l->world->now(), 0);
}

// Events through PROTO instances: interface fields tied by IS to body
// nodes, routes inside bodies, each instance with its own copies.
TEST(Protos, EventsReachEachInstancesOwnNodes) {
    const std::string clock = "DEF C TimeSensor { cycleInterval 4 loop TRUE }\n";
    const std::string mover = "PROTO Mover [ exposedField SFVec3f pos 0 0 0 eventIn SFFloat set_f "
                              "eventOut SFVec3f moved ] {\n"
                              "  DEF T Transform { translation IS pos children Shape {} }\n"
                              "  DEF I PositionInterpolator { key [0 1] keyValue [0 0 0, 4 0 0] set_fraction IS set_f "
                              "value_changed IS moved }\n"
                              "  ROUTE I.value_changed TO T.translation\n}\n";
    struct row {
        std::string what, body;
        // of the Transforms after the body's own, in the order they were made
        std::vector<std::vector<float>> translations;
    } rows[] = {
        {"exposedField", mover + clock + "DEF A Mover {} DEF B Mover {}\n"
                                         "DEF P PositionInterpolator { key [0 1] keyValue [0 8 0, 0 8 0] }\n"
                                         "ROUTE C.fraction_changed TO P.set_fraction ROUTE P.value_changed TO B.set_pos",
         {{0, 0, 0}, {0, 8, 0}}},
        {"eventIn and a route in the body", mover + clock + "DEF A Mover {} DEF B Mover {}\n"
                                                            "ROUTE C.fraction_changed TO A.set_f",
         {{1, 0, 0}, {0, 0, 0}}},
        {"eventOut", mover + clock + "DEF A Mover {} DEF O Transform {}\n"
                                     "ROUTE C.fraction_changed TO A.set_f ROUTE A.moved TO O.set_scale",
         {{1, 0, 0}, {}}},
        {"a clock of its own", "PROTO Self [ ] { DEF T Transform { children Shape {} }\n"
                               "  DEF K TimeSensor { cycleInterval 4 loop TRUE }\n"
                               "  DEF I PositionInterpolator { key [0 1] keyValue [0 0 0, 0 0 4] }\n"
                               "  ROUTE K.fraction_changed TO I.set_fraction ROUTE I.value_changed TO T.translation }\n"
                               "Self {} Self {}",
         {{0, 0, 1}, {0, 0, 1}}},
        {"nested", mover + "PROTO Outer [ eventIn SFFloat set_g ] { Group { children Mover { set_f IS set_g } } }\n" +
                       clock + "DEF X Outer {} Outer {}\nROUTE C.fraction_changed TO X.set_g",
         {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}}},  // the copy in Outer's body, X's, the other Outer's
    };
    for (const row& r : rows) {
        auto l = load(r.body);
        EXPECT_TRUE(l->world->lives()) << r.what;
        l->world->advance(0);
        l->world->advance(1);
        for (std::size_t i = 0; i < r.translations.size(); ++i)
            expect_near(l->numbers("Transform", "translation", static_cast<int>(i) + 1), r.translations[i],
                        r.what + " copy " + std::to_string(i));
        EXPECT_EQ(l->warnings.count(), 0) << r.what << ": " << l->warnings.texts().front();
        if (r.what == "eventOut") expect_near(l->numbers("Transform", "scale", 2), {1, 0, 0}, "eventOut reached O");
    }
}

TEST(Interpolation, Arithmetic) {
    const float keys[] = {0, 0.5f, 0.5f, 1};
    EXPECT_EQ(vrml::find_key(keys, -1).index, 0u);
    EXPECT_EQ(vrml::find_key(keys, 0.5f).index, 2u);
    EXPECT_EQ(vrml::find_key(keys, 2).index, 3u);
    EXPECT_NEAR(vrml::find_key(keys, 0.25f).t, 0.5f, 1e-6);
    float out[4];
    const float a[4] = {1, 0, 0, 0}, b[4] = {0, 0, 0, 1};  // zero axis: no turn
    vrml::blend_rotation(a, b, 0.5f, out);
    EXPECT_NEAR(out[3], 0, 1e-6);
    const float grey[3] = {0.5f, 0.5f, 0.5f}, green[3] = {0, 1, 0};
    vrml::blend_colour(grey, green, 1, out);
    expect_near({out[0], out[1], out[2]}, {0, 1, 0}, "grey to green ends green");
}

}  // namespace
}  // namespace tessel::test
