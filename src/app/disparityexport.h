#pragma once

#include "disparity/disparitysettings.h"
#include "disparity/tesra_disparity_map.h"
#include "pipeline/videoframe.h"

#include <QObject>
#include <functional>

namespace Ui {
class MainWindow;
}

// The export of the disparity tab: the output directory (kept in the settings
// store) and the results written into it.
class DisparityExport : public QObject
{
    Q_OBJECT

public:
    // Asks the user for a directory, starting at the one given; empty when cancelled.
    using DirectoryQuestion = std::function<QString(const QString& current)>;

    DisparityExport(Ui::MainWindow& form, DirectoryQuestion askForDirectory, QObject* parent = nullptr);

    // Writes the two pictures and the map as PNG files named after their time
    // labels, and the depth budget (naming the settings it was analysed with)
    // as a text file beside them, each whole or not at all, with one error box
    // per file that cannot be written.
    void save(const VideoFrame& leftRawFrame, const VideoFrame& rightRawFrame, const VideoFrame& disparityMap,
              const DisparityHistogramInfo& analysis, const DisparitySettings& settings);

signals:
    void errorOccurred(const QString& title, const QString& message);

private:
    // Asks for the output directory, starting at startAt; stores and shows
    // the answer. Empty when cancelled.
    QString chooseOutputDirectory(const QString& startAt);

    Ui::MainWindow& m_ui;
    DirectoryQuestion m_askForDirectory;
};
