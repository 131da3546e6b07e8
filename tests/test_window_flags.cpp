// Every window keeps the frame it was drawn with: the fixed dialogs a title, the system menu and
// the close button; the main window and the UPS parameters a minimise button besides; the
// save progress a title and the close button only.
#include "app/UFrmCommInterface.h"
#include "app/UFrmMain.h"
#include "app/UFrmSaveProgress.h"
#include "diag/UFrmAbout.h"
#include "diag/uInCode.h"
#include "model/uLocalPara.h"
#include "settings/UFrmSetBit.h"
#include "settings/uFrmDataSet.h"
#include "settings/uFrmEdtZyr.h"
#include "settings/uFrmMask.h"
#include "settings/uFrmUpsPara.h"
#include "settings/uZyrCfg.h"
#include "support/TestSupport.h"
#include "ui/uPassword.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Spelt out flag by flag, so that the test does not lean on the names the windows use.
constexpr Qt::WindowFlags Fixed = Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

struct TFrameCase {
    const char* window;
    std::function<QWidget*()> make;
    Qt::WindowFlags flags;
};

TEST(WindowFlags, EveryWindowKeepsItsFrame)
{
    ResetAll();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SetSettingsFolderOverride(dir.path()); // the main window reads and writes its settings there
    const TFrameCase cases[] = {
        {"frmPassword", [] { return new TfrmPassword(nullptr); }, Qt::Dialog | Fixed},
        {"FrmCommInterface", [] { return new TFrmCommInterface(nullptr); }, Qt::Dialog | Fixed},
        {"frmMask", [] { return new TfrmMask(nullptr); }, Qt::Dialog | Fixed},
        {"frmZyrCfg", [] { return new TfrmZyrCfg(nullptr); }, Qt::Dialog | Fixed},
        {"FrmSetBit", [] { return new TFrmSetBit(nullptr); }, Qt::Dialog | Fixed},
        {"frmEdtZyrCfg", [] { return new TfrmEdtZyrCfg(nullptr); }, Qt::Dialog | Fixed},
        {"FrmDataSet", [] { return new TFrmDataSet(nullptr); }, Qt::Dialog | Fixed},
        {"frmInCode", [] { return new TfrmInCode(nullptr); }, Qt::Dialog | Fixed},
        {"FrmAbout", [] { return new TFrmAbout(nullptr); }, Qt::Dialog | Fixed},
        {"frmUpsPara", [] { return new TfrmUpsPara(nullptr); },
         Qt::Window | Fixed | Qt::WindowMinimizeButtonHint},
        {"frmSaveProgress", [] { return new TfrmSaveProgress(1, 6, nullptr); },
         Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint},
        {"FrmMain", [] { return new TFrmMain; }, Qt::Window | Fixed | Qt::WindowMinimizeButtonHint},
    };
    for (const TFrameCase& c : cases) {
        std::unique_ptr<QWidget> w(c.make());
        EXPECT_EQ(w->objectName(), QString::fromLatin1(c.window));
        // The toolkit completes some frames (a title's system menu): the window has what it
        // makes of the flags it was drawn with.
        const QWidget drawnWith(nullptr, c.flags);
        EXPECT_EQ(w->windowFlags(), drawnWith.windowFlags()) << c.window;
    }
    SetSettingsFolderOverride(QString());
    ResetAll();
}

} // namespace
