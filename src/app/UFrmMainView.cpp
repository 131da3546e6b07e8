// The main window's captions and the copy of the device and module records into the view.
#include "app/UFrmMain.h"

#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "ui/uShowText.h"
#include "ui/uStringGrid.h"
#include "ui/uViewFormat.h"
#include "ui/uWindowCaptions.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include <cmath>

namespace {
struct TCaption {
    const char* en;
    const char* zh;
};

const TCaption AcHeadings[12] = {
    {"Input Volt.(V)", "输入电压(V) "},        {"Input Current(A)", "输入电流(A)"},
    {"Input Frequence(Hz)", "输入频率(Hz)"},   {"PFC", "输入功因"},
    {"Output Volt.(V)", "输出电压(V)"},        {"Output Current(A)", "输出电流(A)"},
    {"Outpur Frenquence(Hz)", "输出频率(Hz)"}, {"Active Power(kW)", "输出有功功率(kW)"},
    {"Load percent(%)", "负载率(%)"},          {"Load Peak Rate", "负载峰值比"},
    {"Bypass Volt.(V)", "旁路电压(V)"},        {"Bypass Frequence(Hz)", "旁路频率(Hz)"},
};

const TCaption DcHeadings[7] = {
    {"Battery Volt.(V)", "电池电压(V)"},
    {"Battery Discharge current(A)", "电池放电电流(A)"},
    {"Battery Charge current(A)", "电池充电电流(A)"},
    {"Battery Charging Rate(%)", "电池充电率"},
    {"Battery Support(Min)", "电池后备时间"},
    {"Battery Temperature ℃", "电池温度"},
    {"Inside Temperature ℃", "环境温度"},
};

const TCaption ModuleHeadings[11] = {
    {"Invert Volt.(V) ", "逆变电压(V) "},     {"Invert Current(A)", "逆变电流流(A)"},
    {"Invert Frequency(Hz)", "逆变频率(Hz)"}, {"(Invert)DC BUS Volt.(V)", "(逆变)母线电压(V)"},
    {"DC BUS Volt.(V)", "母线电压(V)"},       {"Temperature ℃", "温度"},
    {"Batter Volt.(V)", "电池组电压(V)"},     {"Batter Discharg(A)", "电池放电电流(A)"},
    {"Batter Charg(A)", "电池充电电流(A)"},   {"Charging rate(%)", "充电率(%)"},
    {"Remain Time(min)", "剩余时间(分钟)"},
};

QString tr2(const TCaption& c) { return LangText(c.en, c.zh); }

void setHeadings(QTableWidget* grid, const TCaption* rows, int rowCount, const QStringList& cols)
{
    for (int r = 0; r < rowCount; ++r) SetCell(grid, 0, r + 1, tr2(rows[r]));
    for (int c = 0; c < cols.size(); ++c) SetCell(grid, c + 1, 0, cols[c]);
}

using TShownValues = std::unordered_map<const QTableWidget*, std::vector<double>>;

void put(TShownValues& shown, QTableWidget* g, int col, int row, double v, int digits = 1)
{
    std::vector<double>& cells = shown[g];
    const int cols = g->columnCount();
    if (cells.empty()) cells.assign(size_t(g->rowCount()) * size_t(cols), std::nan(""));
    double& cell = cells.at(size_t(row) * size_t(cols) + size_t(col));
    if (cell == v) return; // NaN, nothing shown yet, never compares equal
    SetCell(g, col, row, FloatText(v, digits));
    cell = v;
}

void putRow(TShownValues& shown, QTableWidget* g, int row, const double* v, int n)
{
    for (int i = 0; i < n; ++i) put(shown, g, i + 1, row, v[i]);
}
} // namespace

void TFrmMain::shapeGrids()
{
    // The heading column grows when a heading needs more room than its width in this font, so
    // that no heading is cut off in either language.
    auto fitted = [](QTableWidget* g, int w, const TCaption* rows, int n) {
        const QFontMetrics fm(g->font());
        for (int i = 0; i < n; ++i) {
            w = std::max(w, fm.horizontalAdvance(QString::fromUtf8(rows[i].en)) + 8);
            w = std::max(w, fm.horizontalAdvance(QString::fromUtf8(rows[i].zh)) + 8);
        }
        return w;
    };
    // Plain digits and headings need no complex shaping. The live grids redraw several cells
    // with every reply, and without shaping their drawing takes a quarter fewer instructions.
    for (QTableWidget* g : {sgrdUPS_AC, sgrdUPS_DC, sgrdModule}) {
        QFont f = g->font();
        f.setStyleStrategy(QFont::PreferNoShaping);
        g->setFont(f);
    }
    const int ac0 = fitted(sgrdUPS_AC, 120, AcHeadings, 12);
    const int acWidths[4] = {ac0, 50, 50, 50};
    ShapeGrid(sgrdUPS_AC, 4, 13, acWidths, 280 + ac0 - 120, 250);
    const int dc0 = fitted(sgrdUPS_DC, 140, DcHeadings, 7);
    const int dcWidths[3] = {dc0, 50, 50};
    ShapeGrid(sgrdUPS_DC, 3, 8, dcWidths, 250 + dc0 - 140, 155);
    const int md0 = fitted(sgrdModule, 120, ModuleHeadings, 11);
    const int mdWidths[4] = {md0, 50, 50, 50};
    ShapeGrid(sgrdModule, 4, 12, mdWidths, 300 + md0 - 120, 230);
    placePageContents();
}

// The pages are laid out from the grids' widths, which depend on the headings' font.
void TFrmMain::placePageContents()
{
    const int pageWidth = 726;
    const int gap = 10;
    sgrdUPS_AC->move(8, 8);
    sgrdUPS_DC->move(sgrdUPS_AC->geometry().right() + gap, 8);
    const QRect dc = sgrdUPS_DC->geometry();
    edtSysState->setGeometry(dc.left(), dc.bottom() + 8, dc.width(), 26);
    const int typeLeft = dc.right() + gap;
    grpTypeInfo->setGeometry(typeLeft, 8, pageWidth - typeLeft - 4, 130);
    const int inner = grpTypeInfo->width() - 20;
    edtTypeInfo->setGeometry(10, 24, inner, 26);
    edtMdRate->setGeometry(10, 56, inner, 26);
    btnRead->setGeometry(10, 90, inner, 30);
    const int codeTop = sgrdUPS_AC->geometry().bottom() + 10;
    grp1->move(8, codeTop);
    btnZyrCode->move(grp1->geometry().right() + gap, codeTop + 36);

    sgrdModule->move(lstMd->geometry().right() + gap, 40);
    const QRect md = sgrdModule->geometry();
    edtMdState->setGeometry(md.left(), 8, md.width(), 26);
    grp2->setGeometry(md.left(), md.bottom() + 8, 300, 96);
    btnMdCode->move(grp2->geometry().right() + gap, grp2->y() + 36);
    const int countLeft = md.right() + gap;
    const int countWidth = pageWidth - countLeft - 4;
    grp3->setGeometry(countLeft, 8, countWidth, 200);
    const QList<QLineEdit*> counts = {edtErrRate, edtSend, edtAcpt, edtAckOk};
    for (int i = 0; i < counts.size(); ++i) counts[i]->setGeometry(countWidth - 78, 27 + i * 32, 68, 26);
    btnReCnt->setGeometry(10, 160, countWidth - 20, 28);
    btnViewMDBuff->setGeometry(countLeft, 216, countWidth, 30);
    lblTest01->move(countLeft, 256);
}

void TFrmMain::ApplyCaptions()
{
    setWindowTitle(WindowCaptionText(objectName()));
    lbDevID->setText(LangText("Device Addr.", "设备地址"));
    PageControl1->setTabText(PageControl1->indexOf(TabSheet1), LangText("System", "系统"));
    mni1000->setTitle(LangText("System", "系统"));
    mni1001->setText(LangText("Set Port", "通讯端口"));
    mni1002->setText(LangText("Exit", "退出"));
    mni2000->setTitle(LangText("Setting", "设置"));
    mni2001->setText(LangText("UPS parameter", "UPS参数"));
    mni2002->setText(LangText("ZYR Config", "ZRY配置"));
    mni2003->setText(LangText("Alarm Mask", "掩码维护"));
    mni2004->setText(LangText("OPTION Port Config", "OPTION端口配置"));
    mni2005->setText(LangText("Modbus View", "Modbus View"));
    mni2006->setText(LangText("UPS Runtime", "UPS运行时间"));
    mni2007->setText(LangText("Save settings…", "保存设置…"));
    mni2008->setText(LangText("Restore settings…", "恢复设置…"));
    mni3000->setTitle(LangText("Tools", "工具"));
    mni3001->setText(LangText("Record", "历史记录"));
    mni3002->setText(LangText("IAP", "在线升级"));
    mni3003->setText(LangText("Correct", "校准"));
    mni3004->setText(LangText("Test", "测试"));
    mni3005->setText(LangText("Trend", "趋势图"));
    mni3006->setText(LangText("Journal", "服务日志"));
    mni4000->setTitle(LangText("Help", "帮助"));
    mni4001->setText(LangText("About", "关于"));
    mni4002->setText(LangText("Comm Track", "通讯跟踪"));
    PageControl1->setTabText(PageControl1->indexOf(TabSheet2), LangText("Module", "模块"));
    lbModuleIdx->setText(LangText("Module Index", "模块序号"));
    iLedTx->setToolTip(LangText("Transmit", "发送"));
    iLedRx->setToolTip(LangText("Receive", "接收"));
    showStatus();

    const QStringList abc = {QStringLiteral("     A"), QStringLiteral("     B"), QStringLiteral("     C")};
    setHeadings(sgrdUPS_AC, AcHeadings, 12, abc);
    setHeadings(sgrdUPS_DC, DcHeadings, 7, {QStringLiteral("     +"), QStringLiteral("     -")});
    setHeadings(sgrdModule, ModuleHeadings, 11, abc);
}

void TFrmMain::RefreshView()
{
    const TUpsData& u = Cabinet().UpsData[DevAddr <= MaxDevAddr ? DevAddr : 1];
    QTableWidget* ac = sgrdUPS_AC;
    putRow(shownValues_, ac, 1, u.InVolt, 3);
    putRow(shownValues_, ac, 2, u.InCurr, 3);
    put(shownValues_, ac, 1, 3, u.InFreq);
    putRow(shownValues_, ac, 4, u.InPF, 3);
    putRow(shownValues_, ac, 5, u.OutVolt, 3);
    putRow(shownValues_, ac, 6, u.OutCurr, 3);
    put(shownValues_, ac, 1, 7, u.OutFreq);
    putRow(shownValues_, ac, 8, u.OutPower, 3);
    putRow(shownValues_, ac, 9, u.LoadPct, 3);
    putRow(shownValues_, ac, 10, u.LoadPeak, 3);
    putRow(shownValues_, ac, 11, u.BpsVolt, 3);
    put(shownValues_, ac, 1, 12, u.BpsFreq);

    QTableWidget* dc = sgrdUPS_DC;
    putRow(shownValues_, dc, 1, u.BattVolt, 2);
    putRow(shownValues_, dc, 2, u.BattDisCurr, 2);
    putRow(shownValues_, dc, 3, u.BattChgCurr, 2);
    put(shownValues_, dc, 1, 4, u.BattChgRate);
    put(shownValues_, dc, 1, 5, u.BattSupport);
    put(shownValues_, dc, 1, 6, u.BattTemp);
    put(shownValues_, dc, 1, 7, u.InsideTemp);

    const TStatusBlock& s = u.Status;
    cabinetWords_.Show(s);
    ShowText(edtSysState, StateText(u.SysState));

    const TModuleData& m = Cabinet().ModuleData[CurModule >= 1 && CurModule <= ModuleCount ? CurModule : 1];
    QTableWidget* md = sgrdModule;
    putRow(shownValues_, md, 1, m.InvVolt, 3);
    putRow(shownValues_, md, 2, m.InvCurr, 3);
    put(shownValues_, md, 1, 3, m.InvFreq);
    putRow(shownValues_, md, 4, m.BusVolt, 2);
    putRow(shownValues_, md, 5, m.DcBusVolt, 2);
    putRow(shownValues_, md, 6, m.Temp, 2);
    putRow(shownValues_, md, 7, m.BattVolt, 2);
    putRow(shownValues_, md, 8, m.BattDisCurr, 2);
    putRow(shownValues_, md, 9, m.BattChgCurr, 2);
    put(shownValues_, md, 1, 10, m.ChgRate, 0);
    put(shownValues_, md, 1, 11, m.RemainTime, 0);

    moduleWords_.Show(m.Status);
    ShowText(edtMdState, StateText(m.ModState));
    ShowText(edtSend, QString::number(m.MdSend));
    ShowText(edtAcpt, QString::number(m.MdAccept));
    ShowText(edtAckOk, QString::number(m.MdAckOk));
    ShowText(edtErrRate, ModuleErrRateText(m.MdSend, m.MdAckOk));

    ShowText(edtUpsVer, FieldText(Cabinet().CfgRx + 25, 10));
    ShowText(edtTypeInfo, FieldText(Cabinet().CfgRx + 41, 3));
    ShowText(edtMdRate, QString::number(256 * Cabinet().CfgRx[45] + Cabinet().CfgRx[46]));
    Q_EMIT viewRefreshed();
}

void TFrmMain::ClearLiveView(const QString& port)
{
    for (QTableWidget* g : {sgrdUPS_AC, sgrdUPS_DC, sgrdModule})
        for (int r = 1; r < g->rowCount(); ++r)
            for (int c = 1; c < g->columnCount(); ++c) SetCell(g, c, r, QString());
    shownValues_.clear();
    for (QLineEdit* e :
         {mdtCmmStaH,       mdtCmmStaL,       mdtInvStaH,       mdtInvStaL,       mdtCmmAlmH,
          mdtCmmAlmL,       mdtInvAlmH,       mdtInvAlmL,       mdtSysSta,        mdtSysAlm,
          mdt_MdCMMStatusH, mdt_MdCMMStatusL, mdt_MdINVStatusH, mdt_MdINVStatusL, mdt_MdCMMAlarmH,
          mdt_MdCMMAlarmL,  mdt_MdINVAlarmH,  mdt_MdINVAlarmL,  edtSend,          edtAcpt,
          edtAckOk,         edtErrRate})
        e->clear();
    const QString state = LangText("%1 lost", "%1 已断开").arg(port);
    edtSysState->setText(state);
    edtMdState->setText(state);
    // A reply still counted as new from before the loss must not bring the old values back.
    NeedsRepaint = false;
}
