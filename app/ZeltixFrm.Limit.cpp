// The monthly limit: the costs of all sessions against a limit in euros, shown in the gauge,
// with one warning per run when the limit is reached.

#include "app/ZeltixFrm.h"

#include "app/Dialogs.h"
#include "app/HistoryModel.h"
#include "app/StoredFiles.h"
#include "base/SysUtils.h"
#include "platform/IniFile.h"
#include "widgets/RarBar.h"
#include "widgets/SpinEdit.h"

#include <QLabel>

#include <climits>
#include <cmath>
#include <optional>

namespace {

// The largest limit in euros whose cents still fit the 32-bit limit.
constexpr int32_t LargestLimit = INT32_MAX / 100;

} // namespace

void TForm1::SpinEdit1Change()
{
    // The number is checked in every form the spin edit reads ("$147AE15" and "0x7FFFFFFF" as
    // well as decimals) and at any size, before its cents are counted in 32 bits. A limit that
    // would not fit is refused: the largest one that fits takes its place (which runs this
    // handler again).
    const std::optional<int64_t> typed = SpinEdit1->TypedNumber();
    if (typed && *typed > LargestLimit) {
        SpinEdit1->SetValue(LargestLimit);
        return;
    }
    if (typed && *typed < 0)
        SpinEdit1->SetValue(0);
    SetLimit(SpinEdit1->Value() * 100);
    UpdateCostTotals(true);
    // A limit that cannot be stored now is stored with the other settings at the next try.
    TrySave(sfSettings, [this] { WriteLimit(); });
}

void TForm1::SetLimit(int32_t cents)
{
    FLimit = cents;
    RarBar1->SetMax(cents);
}

void TForm1::WriteLimit()
{
    // A file that could not be read keeps the user's settings better than the defaults would.
    if (FSettingsUnreadable)
        return;
    TIniFile settings(ProgramDir() + StoredFiles::Settings);
    settings.WriteInteger(StoredFiles::MainSection, StoredFiles::LimitKey, Limit());
}

void TForm1::UpdateCostTotals(bool SuppressLimitMessage)
{
    const long double total = History->TotalCostCents();

    // Most seconds of a session charge nothing: the text is made again only for a new total.
    if (!FShownTotalCents || *FShownTotalCents != total) {
        Label6->setText(QStringLiteral("Gesamtkosten: ") + FormatFloat(QStringLiteral("0.00"), total / 100) +
            QStringLiteral(" Euro") + QStringLiteral(" (") + FloatToStr(total) + QStringLiteral(" Cent)"));
        Label6->adjustSize();
        FShownTotalCents = total;
    }

    const int32_t max = Limit();
    if (max != 0) {
        // Halves go to the even neighbour, as the rounding mode of the floating-point unit does.
        const long double rounded = std::nearbyintl(total);
        RarBar1->SetProgress(rounded < max ? static_cast<int32_t>(std::max<long double>(rounded, INT32_MIN)) : max);
    }

    if (!LimitWarned && max != 0 && total >= max && !SuppressLimitMessage) {
        // Set first: ticks that run while the message is open must not show it again.
        LimitWarned = true;
        ShowMessageBox(QStringLiteral("Das Limit von %1 Euro wurde überschritten!").arg(max / 100),
            QStringLiteral("Error"), TMessageIcon::miError, TMessageButtons::mbOk);
    }
}
