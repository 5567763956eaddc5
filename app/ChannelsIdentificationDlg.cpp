#include "app/ChannelsIdentificationDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "engine/Identification.h"

namespace {

const char* const dialogCaption = "Channels and Identification";
// The sex combo's entries; the first leaves the subfield out (X).
const char* const sexChoices[] = {"unknown", "M", "F"};
constexpr int lineEditChars = 40;  // the fields' width

// "key=value" for each subfield that has a value, joined by commas: the text that --patient and
// --recording take. Empty when no subfield has one.
std::string KeyValues(std::initializer_list<std::pair<const char*, QString>> subfields)
{
    std::string text;
    for (const auto& [key, value] : subfields) {
        if (value.isEmpty())
            continue;
        if (!text.empty())
            text += ',';
        text.append(key).append(1, '=').append(value.toStdString());
    }
    return text;
}

// The subfields that `parse` makes of `text`, or none without a text, so that empty fields leave
// the header as it is without the dialog; false with `what` before the reason.
bool Identification(bool (*parse)(const std::string&, std::string&, std::string&), const std::string& text,
                    const char* what, std::string& subfields, std::string& error)
{
    subfields.clear();
    if (text.empty() || parse(text, subfields, error))
        return true;
    error = what + error;
    return false;
}

}  // namespace

bool ChannelsIdentificationDlg::ApplyFields(const Fields& fields, ConversionOptions& options, std::string& error)
{
    std::vector<std::string> channels;
    if (!fields.channels.isEmpty() && !SplitChannelList(fields.channels.toStdString(), channels, error)) {
        error = "Channels: " + error;
        return false;
    }
    std::string patient;
    std::string recording;
    const std::string patientText = KeyValues({{"code", fields.patientCode},
                                               {"sex", fields.sex},
                                               {"birthdate", fields.birthdate},
                                               {"name", fields.patientName}});
    const std::string recordingText = KeyValues(
        {{"admincode", fields.adminCode}, {"technician", fields.technician}, {"equipment", fields.equipment}});
    if (!Identification(ParsePatientIdentification, patientText, "Patient: ", patient, error)
        || !Identification(ParseRecordingIdentification, recordingText, "Recording: ", recording, error))
        return false;
    options.channels = std::move(channels);
    options.patient = std::move(patient);
    options.recording = std::move(recording);
    return true;
}

ChannelsIdentificationDlg::ChannelsIdentificationDlg(const Fields& fields, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(dialogCaption);
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    auto* channelGroup = new QGroupBox("Channels", this);
    auto* channelForm = new QFormLayout(channelGroup);
    m_channels = AddLine(channelForm, "&Channels:", "channelsEdit", fields.channels);
    m_channels->setPlaceholderText("every channel");
    auto* syntax = new QLabel("Names, ranges and patterns separated by commas, in the order wanted:\n"
                              "CSC3,CSC1-CSC2,LFP*. Empty: every channel in the usual order.",
                              channelGroup);
    syntax->setTextFormat(Qt::PlainText);
    channelForm->addRow(syntax);
    layout->addWidget(channelGroup);

    auto* patientGroup = new QGroupBox("Patient", this);
    auto* patientForm = new QFormLayout(patientGroup);
    m_patientCode = AddLine(patientForm, "C&ode:", "patientCodeEdit", fields.patientCode);
    m_sex = new QComboBox(patientGroup);
    m_sex->setObjectName("sexCombo");
    for (const char* choice : sexChoices)
        m_sex->addItem(choice);
    m_sex->setCurrentIndex(std::max(0, m_sex->findText(fields.sex.isEmpty() ? sexChoices[0] : fields.sex)));
    patientForm->addRow("&Sex:", m_sex);
    m_birthdate = AddLine(patientForm, "&Birthdate:", "birthdateEdit", fields.birthdate);
    m_birthdate->setPlaceholderText("dd-MMM-yyyy, as 02-MAY-1951; empty: unknown");
    m_patientName = AddLine(patientForm, "&Name:", "patientNameEdit", fields.patientName);
    layout->addWidget(patientGroup);

    auto* recordingGroup = new QGroupBox("Recording", this);
    auto* recordingForm = new QFormLayout(recordingGroup);
    m_adminCode = AddLine(recordingForm, "&Admin code:", "adminCodeEdit", fields.adminCode);
    m_technician = AddLine(recordingForm, "&Technician:", "technicianEdit", fields.technician);
    m_equipment = AddLine(recordingForm, "&Equipment:", "equipmentEdit", fields.equipment);
    layout->addWidget(recordingGroup);

    auto* note = new QLabel("An empty field leaves its subfield unknown (X). Blanks become underscores.", this);
    note->setTextFormat(Qt::PlainText);
    layout->addWidget(note);

    m_error = new QLabel(this);
    m_error->setObjectName("errorText");
    m_error->setTextFormat(Qt::PlainText);  // a value may hold "<"
    m_error->setWordWrap(true);
    m_error->setStyleSheet("color: #B00020;");  // as the window's error rows
    m_error->hide();
    layout->addWidget(m_error);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &ChannelsIdentificationDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ChannelsIdentificationDlg::reject);
    layout->addWidget(buttons);
}

QLineEdit* ChannelsIdentificationDlg::AddLine(QFormLayout* form, const QString& label, const QString& key,
                                              const QString& text)
{
    auto* edit = new QLineEdit(text, form->parentWidget());
    edit->setObjectName(key);
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * lineEditChars);
    form->addRow(label, edit);
    return edit;
}

ChannelsIdentificationDlg::Fields ChannelsIdentificationDlg::GetFields() const
{
    Fields fields;
    fields.channels = m_channels->text().trimmed();
    fields.patientCode = m_patientCode->text().trimmed();
    fields.sex = m_sex->currentIndex() == 0 ? QString() : m_sex->currentText();
    fields.birthdate = m_birthdate->text().trimmed();
    fields.patientName = m_patientName->text().trimmed();
    fields.adminCode = m_adminCode->text().trimmed();
    fields.technician = m_technician->text().trimmed();
    fields.equipment = m_equipment->text().trimmed();
    return fields;
}

void ChannelsIdentificationDlg::accept()
{
    std::string error;
    if (!ApplyFields(GetFields(), m_options, error)) {
        m_error->setText(QString::fromStdString(error));
        m_error->show();
        return;
    }
    QDialog::accept();
}
