#pragma once

#include "model/AgeSpec.h"
#include "model/MetadataEnums.h"

#include <QWidget>

#include <optional>

class QComboBox;
class QGridLayout;
class QLabel;

// The five metadata filters as menu pickers, each offering "Any" and the
// selectable cases of its enumeration: Modality, Region, Plane, Age (the
// age kind) and Sex. A choice is reported at once by the filter's signal;
// the owner keeps the values and sets them back.
class LibraryFilterControls : public QWidget {
    Q_OBJECT
public:
    explicit LibraryFilterControls(QWidget *parent = nullptr);

    std::optional<Modality> modalityFilter() const;
    std::optional<Region> regionFilter() const;
    std::optional<Plane> planeFilter() const;
    std::optional<AgeSpec::Kind> ageKindFilter() const;
    std::optional<Sex> sexFilter() const;

    // Setting a value reports nothing.
    void setModalityFilter(std::optional<Modality> value);
    void setRegionFilter(std::optional<Region> value);
    void setPlaneFilter(std::optional<Plane> value);
    void setAgeKindFilter(std::optional<AgeSpec::Kind> value);
    void setSexFilter(std::optional<Sex> value);

    // The pickers, in row order (for layout and tests).
    QComboBox *picker(int row) const;
    QLabel *label(int row) const;

signals:
    void modalityFilterChanged(std::optional<Modality> value);
    void regionFilterChanged(std::optional<Region> value);
    void planeFilterChanged(std::optional<Plane> value);
    void ageKindFilterChanged(std::optional<AgeSpec::Kind> value);
    void sexFilterChanged(std::optional<Sex> value);

private:
    template<MetadataEnum E>
    QComboBox *addRow(int row, const QString &label, void (LibraryFilterControls::*changed)(std::optional<E>));
    template<MetadataEnum E>
    std::optional<E> value(int row) const;
    template<MetadataEnum E>
    void setValue(int row, std::optional<E> value);

    QGridLayout *m_layout = nullptr;
    QList<QComboBox *> m_pickers;
    QList<QLabel *> m_labels;
};
