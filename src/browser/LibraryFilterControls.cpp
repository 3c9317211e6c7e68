#include "browser/LibraryFilterControls.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace {
enum Row { modalityRow, regionRow, planeRow, ageRow, sexRow };
}

LibraryFilterControls::LibraryFilterControls(QWidget *parent)
    : QWidget(parent)
{
    m_layout = new QGridLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setHorizontalSpacing(8);
    m_layout->setVerticalSpacing(6);
    m_layout->setColumnStretch(1, 1);
    addRow<Modality>(modalityRow, QStringLiteral("Modality"), &LibraryFilterControls::modalityFilterChanged);
    addRow<Region>(regionRow, QStringLiteral("Region"), &LibraryFilterControls::regionFilterChanged);
    addRow<Plane>(planeRow, QStringLiteral("Plane"), &LibraryFilterControls::planeFilterChanged);
    addRow<AgeSpec::Kind>(ageRow, QStringLiteral("Age"), &LibraryFilterControls::ageKindFilterChanged);
    addRow<Sex>(sexRow, QStringLiteral("Sex"), &LibraryFilterControls::sexFilterChanged);
}

template<MetadataEnum E>
QComboBox *LibraryFilterControls::addRow(int row, const QString &labelText,
                                         void (LibraryFilterControls::*changed)(std::optional<E>))
{
    auto *label = new QLabel(labelText, this);
    auto *picker = new QComboBox(this);
    picker->setAccessibleName(labelText);
    picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    picker->addItem(QStringLiteral("Any"));
    for (E value : selectableCases<E>())
        picker->addItem(title(value), QVariant::fromValue(id(value)));
    label->setBuddy(picker);
    m_layout->addWidget(label, row, 0, Qt::AlignVCenter | Qt::AlignLeft);
    m_layout->addWidget(picker, row, 2, Qt::AlignVCenter | Qt::AlignRight);
    m_pickers.append(picker);
    m_labels.append(label);
    connect(picker, &QComboBox::currentIndexChanged, this, [this, row, changed] { emit(this->*changed)(value<E>(row)); });
    return picker;
}

template<MetadataEnum E>
std::optional<E> LibraryFilterControls::value(int row) const
{
    const QVariant data = m_pickers.at(row)->currentData();
    if (!data.isValid())
        return std::nullopt;
    return fromRawValue<E>(data.toLongLong());
}

template<MetadataEnum E>
void LibraryFilterControls::setValue(int row, std::optional<E> value)
{
    QComboBox *picker = m_pickers.at(row);
    const int index = value ? picker->findData(QVariant::fromValue(id(*value))) : 0;
    const QSignalBlocker blocker(picker);
    picker->setCurrentIndex(std::max(0, index));
}

std::optional<Modality> LibraryFilterControls::modalityFilter() const
{
    return value<Modality>(modalityRow);
}

std::optional<Region> LibraryFilterControls::regionFilter() const
{
    return value<Region>(regionRow);
}

std::optional<Plane> LibraryFilterControls::planeFilter() const
{
    return value<Plane>(planeRow);
}

std::optional<AgeSpec::Kind> LibraryFilterControls::ageKindFilter() const
{
    return value<AgeSpec::Kind>(ageRow);
}

std::optional<Sex> LibraryFilterControls::sexFilter() const
{
    return value<Sex>(sexRow);
}

void LibraryFilterControls::setModalityFilter(std::optional<Modality> value)
{
    setValue(modalityRow, value);
}

void LibraryFilterControls::setRegionFilter(std::optional<Region> value)
{
    setValue(regionRow, value);
}

void LibraryFilterControls::setPlaneFilter(std::optional<Plane> value)
{
    setValue(planeRow, value);
}

void LibraryFilterControls::setAgeKindFilter(std::optional<AgeSpec::Kind> value)
{
    setValue(ageRow, value);
}

void LibraryFilterControls::setSexFilter(std::optional<Sex> value)
{
    setValue(sexRow, value);
}

QComboBox *LibraryFilterControls::picker(int row) const
{
    return m_pickers.value(row);
}

QLabel *LibraryFilterControls::label(int row) const
{
    return m_labels.value(row);
}
