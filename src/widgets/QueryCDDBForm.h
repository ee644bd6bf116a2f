#pragma once
// TfrmQueryCDDB: the CDDB lookup window of drive mode. It shows the lookup
// settings (server, script, proxy address and port, section QueryCDDB of the
// settings) and, on Query, copies them back and runs the lookup under the
// progress window (TfrmStopQuery), which asks which entry to read when the
// server knows several (Cancel there is like Stop). A finished lookup writes
// what it found into the rows of the track list and the disc values
// (ApplyCddbValues),
// says why when it found nothing because the request or the server failed,
// and closes this window too; after "not found" or Stop the window stays.
//
// The picture "CDDB.jpg" of the program folder is shown beside the settings,
// decoded through the JPEG layer; without one (or with a damaged one) the
// window shows without it.
//
// Main thread only.

#include "cd/DiscListing.h"
#include "widgets/TranslatedDialog.h"

#include <QStringList>

#include <cstdint>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dw {

struct TDiscInfo;

inline constexpr char CddbPictureFile[] = "CDDB.jpg";

// The twelve server hosts of the server box, the default first.
QStringList CddbServerHosts();

class TfrmQueryCDDB : public TranslatedDialog {
    Q_OBJECT
public:
    // rows: the track list (row 0 = firstTrack); disc: the current-disc values.
    TfrmQueryCDDB(uint8_t firstTrack, uint8_t lastTrack, int handle, std::vector<TrackRow>& rows, TDiscInfo& disc,
                  QWidget* parent = nullptr);

    // True once a lookup finished (whether or not it found titles).
    bool Finished() const { return finished_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void bQueryClick();
    void bDefaultClick();
    void cbProxyClick();

    uint8_t first_;
    uint8_t last_;
    int handle_;
    std::vector<TrackRow>& rows_;
    TDiscInfo& disc_;
    bool finished_ = false;

    QLabel* Image1 = nullptr;
    QComboBox* cbServer = nullptr;
    QLineEdit* eScript = nullptr;
    QCheckBox* cbProxy = nullptr;
    QLineEdit* eAddress = nullptr;
    QLineEdit* ePort = nullptr;
    QPushButton* bQuery = nullptr;
    QPushButton* bDefault = nullptr;
    QPushButton* bClose = nullptr;
};

}  // namespace dw
