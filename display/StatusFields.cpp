#include "StatusFields.h"

namespace zorvel {

StatusFields::StatusFields()
{
    colours_.fill(colours::white);
    visible_.fill(true);
    // The texts a freshly opened window shows before start-up changes any of them.
    setText(Field::txtReady, "READY");
    setText(Field::txtLastCheck, "Starting Zorvel");
    setText(Field::txtPhoneNo, "NA");
    setText(Field::txtCounter, "Msgs: 0");
    setText(Field::txtSYSINFO, "NA");
    setText(Field::txtIMEI, "NA");
    setText(Field::txtIMSI, "NA");
    setText(Field::txtSignal, "_____");
    setText(Field::txtNetName, "No Service");
    setText(Field::txtPDUmode, "NA");
    setText(Field::lblSMSstamp, "None");
    setText(Field::lblSMS, "None");
    colours_[index(Field::txtStatus)] = colours::lightGreen;
    for (Field bar : {Field::picS1, Field::picS2, Field::picS3, Field::picS4, Field::picS5})
        colours_[index(bar)] = colours::white;
}

void StatusFields::setText(Field f, std::string value)
{
    if (texts_[index(f)] == value)
        return;
    texts_[index(f)] = std::move(value);
    changed(f);
}

void StatusFields::setColour(Field f, Rgb value)
{
    if (colours_[index(f)] == value)
        return;
    colours_[index(f)] = value;
    changed(f);
}

void StatusFields::setVisible(Field f, bool value)
{
    if (visible_[index(f)] == value)
        return;
    visible_[index(f)] = value;
    changed(f);
}

void StatusFields::changed(Field f)
{
    if (onChanged)
        onChanged(f);
}

} // namespace zorvel
