// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's windows with ALSA's default PCM captured to a file for the whole suite: each
// test starts with an empty capture.
#include "support/AlsaCapture.h"
#include "support/GuiHelpers.h"

class CapturedProgramTest : public ProgramTest {
protected:
    static void SetUpTestSuite() { capture = new testsupport::AlsaCapture(); }
    static void TearDownTestSuite() {
        delete capture;
        capture = nullptr;
    }
    void SetUp() override {
        capture->clear();
        ProgramTest::SetUp();
    }

    static inline testsupport::AlsaCapture* capture = nullptr;
};
