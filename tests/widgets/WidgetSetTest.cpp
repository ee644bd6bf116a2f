// The widget set's own rules: the gauge holds its value in 0..100 and shows
// its percent text only when switched on; flat controls keep their texts when
// a window is translated.
#include "support/TestSupport.h"
#include "widgets/FlatButton.h"
#include "widgets/FlatEdit.h"
#include "widgets/FlatGauge.h"
#include "widgets/SpinEdit.h"
#include "widgets/TranslateForm.h"

#include <QEvent>

#include <gtest/gtest.h>

namespace {

class PaintCounter : public QObject {
public:
    explicit PaintCounter(int* paints) : paints_(paints) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++*paints_;
        return false;
    }

private:
    int* paints_;
};

TEST(WidgetSet, GaugeHoldsItsRangeAndShowsPercentOnlyWhenAsked)
{
    dw::FlatGauge gauge;
    EXPECT_FALSE(gauge.showPercent());
    EXPECT_EQ(gauge.value(), 0);
    gauge.setProgress(140);
    EXPECT_EQ(gauge.value(), 100);
    gauge.setProgress(-5);
    EXPECT_EQ(gauge.value(), 0);
    gauge.setProgress(37);
    gauge.setShowPercent(true);
    EXPECT_TRUE(gauge.showPercent());
    EXPECT_EQ(gauge.text(), "37%");

    // Progress is drawn on the next paint cycle, once however many values
    // arrived: nothing is painted inside setProgress.
    int paints = 0;
    PaintCounter counter(&paints);
    gauge.installEventFilter(&counter);
    gauge.show();
    ASSERT_TRUE(dwtest::waitFor([&] { return paints > 0; }));
    paints = 0;
    for (int p = 38; p <= 60; ++p)
        gauge.setProgress(p);
    EXPECT_EQ(paints, 0) << "the gauge painted synchronously";
    ASSERT_TRUE(dwtest::waitFor([&] { return paints > 0; }));
    EXPECT_LE(paints, 2);
    EXPECT_EQ(gauge.text(), "60%");

    dw::SpinEdit spin(0, 100, 95);
    spin.setValue(250);
    EXPECT_EQ(spin.value(), 100);

    // Flat controls are skipped by translation, as language files do not address them.
    EXPECT_TRUE(dw::FlatButton("x").property(dw::NoTranslateProperty).toBool());
    EXPECT_TRUE(dw::FlatEdit("x").property(dw::NoTranslateProperty).toBool());
}

}  // namespace
