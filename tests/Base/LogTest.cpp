#include <sstream>

#include <gtest/gtest.h>

#include "Base/Log.h"
#include "Base/Math.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;

TEST(Log, ValuesJoinedBySpacesOneLinePerMessage) {
    Testing::LogCapture log;
    Debug{} << "Loading project from" << "a/b.zdp";
    Warning{} << "count" << 3 << 2.5f << true;
    Error{} << "Upgraded npm package @zandelleengine/api to version 1." << Debug::nospace << 1;
    Debug{};  /* prints nothing at all */
    Debug{} << Vector4i{0, 5, 9, 0} << Vector3{1.5f, 0.0f, -2.0f};
    Debug{} << Quaternion{1.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(log.all(), "Loading project from a/b.zdp\ncount 3 2.5 true\n"
        "Upgraded npm package @zandelleengine/api to version 1.1\n"
        "Vector(0, 5, 9, 0) Vector(1.5, 0, -2)\nQuaternion({0, 0, 0}, 1)\n");
    EXPECT_EQ(log.warning(), "count 3 2.5 true\n");
    EXPECT_EQ(log.error(), "Upgraded npm package @zandelleengine/api to version 1.1\n");
}

TEST(Log, RedirectionIsScopedAndPerStreamQuietDropsDebugOnly) {
    Testing::LogCapture log;
    std::ostringstream out;
    {
        Warning redirect{&out};
        Warning{} << "inside";
        Debug{} << "not redirected";
    }
    Warning{} << "outside";
    Debug::setQuiet(true);
    Debug{} << "hidden";
    Error{} << "shown";
    Debug::setQuiet(false);
    EXPECT_EQ(out.str(), "inside\n");
    EXPECT_EQ(log.all(), "not redirected\noutside\nshown\n");
}
