#pragma once

#include <QDialog>
#include <QString>

#include <string>

#include "engine/ConversionOptions.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;

// The Options menu's "Channels and Identification...": the channels a conversion writes and the
// EDF+ identification of the patient and the recording, one field per subfield. OK takes the
// fields only when the engine's own checks accept them; otherwise the dialog shows the engine's
// reason and stays open.
class ChannelsIdentificationDlg : public QDialog {
    Q_OBJECT

public:
    // The fields as the user typed them; all empty: every channel, X for every subfield.
    struct Fields {
        QString channels;  // as --channels: names, ranges and patterns separated by commas
        QString patientCode;
        QString sex;        // empty (unknown), "M" or "F"
        QString birthdate;  // dd-MMM-yyyy
        QString patientName;
        QString adminCode;
        QString technician;
        QString equipment;
    };

    // The fields into the channels, patient and recording of `options`, as varelo-convert's
    // --channels, --patient and --recording make them; false, with the reason in `error`.
    static bool ApplyFields(const Fields& fields, ConversionOptions& options, std::string& error);

    ChannelsIdentificationDlg(const Fields& fields, QWidget* parent);

    // What the fields hold now, each without blanks at its ends.
    Fields GetFields() const;
    // The options that the accepted fields make (channels, patient and recording only).
    const ConversionOptions& Options() const { return m_options; }

    // OK: closes the dialog only when the fields make options.
    void accept() override;

private:
    // A line edit as a row of `form`, named `key` for the tests and for accessibility.
    QLineEdit* AddLine(QFormLayout* form, const QString& label, const QString& key, const QString& text);

    QLineEdit* m_channels = nullptr;  // the controls belong to the dialog, as Qt children
    QLineEdit* m_patientCode = nullptr;
    QComboBox* m_sex = nullptr;
    QLineEdit* m_birthdate = nullptr;
    QLineEdit* m_patientName = nullptr;
    QLineEdit* m_adminCode = nullptr;
    QLineEdit* m_technician = nullptr;
    QLineEdit* m_equipment = nullptr;
    QLabel* m_error = nullptr;
    ConversionOptions m_options;
};
