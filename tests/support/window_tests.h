#pragma once

// What the window tests reach for, in one place: the window fixture and its gestures, the
// controls and dialogs of the window, the cabinet writer, and the Qt test tools.

#include "controls/control_error.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "controls/vb_text_box.h"
#include "dialogs/browse_dir.h"
#include "dialogs/extract_to.h"
#include "platform/path_text.h"
#include "platform/profile.h"
#include "platform/working_folder.h"
#include "support/cab_writer.h"
#include "support/window_fixture.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

using namespace fm;
using namespace fm::test;
namespace fs = std::filesystem;
