// A test with an X server and a window manager of its own, skipped where their tools are missing.
#pragma once

#include "realx/RealSession.h"

#include <gtest/gtest.h>

#include <memory>

namespace orvreal {

class SessionTest : public testing::Test {
protected:
    void SetUp() override
    {
        const QStringList missing = MissingTools();
        if (!missing.isEmpty())
            GTEST_SKIP() << "not installed: " << missing.join(QStringLiteral(", ")).toStdString();
        x = std::make_unique<XSession>();
        ASSERT_TRUE(x->started()) << x->error().toStdString();
    }

    std::unique_ptr<XSession> x;
};

} // namespace orvreal
