#include <SystemConfiguration/Exceptions.h>
#include <SystemConfiguration/PAMControl.h>

#include "sysconfig/ControlText.h"
#include "sysconfig/NameTables.h"

#include <utility>

namespace SystemConfiguration {

namespace detail {

PAMControl::Control ParseControl(const std::string& text)
{
    if (!text.empty() && text.front() == '[' && text.back() == ']')
        return PAMControl::Bracketed;
    PAMControl::Control kind;
    if (LookupValue(CONTROL_NAMES, text, kind))
        return kind;
    throw InvalidControlException(CONTROL_PREFIX + text);
}

}  // namespace detail

using detail::ParseControl;

PAMControl::PAMControl() : control(Unset) {}
PAMControl::PAMControl(Control control) : control(control) {}
PAMControl::PAMControl(Control control, const std::string& text) : control(control), text(text) {}
PAMControl::PAMControl(Control control, std::string&& text) : control(control), text(std::move(text)) {}

PAMControl::PAMControl(const std::string& text) : control(ParseControl(text))
{
    if (control == Bracketed)
        this->text = text;
}


PAMControl& PAMControl::operator=(Control kind)
{
    control = kind;
    text.clear();
    return *this;
}

PAMControl& PAMControl::operator=(const std::string& newText)
{
    const Control kind = ParseControl(newText);
    if (kind == Bracketed)
        text = newText;
    control = kind;
    return *this;
}

bool PAMControl::operator==(const PAMControl& other) const
{
    if (control != Bracketed)
        return control == other.control;
    return other.control == Bracketed && text == other.text;
}

bool PAMControl::operator==(const std::string& other) const
{
    if (control == Bracketed)
        return text == other;
    return control == ParseControl(other);
}

PAMControl::operator std::string() const
{
    if (control == Bracketed)
        return text;
    if (const std::string_view* name = detail::LookupName(detail::CONTROL_NAMES, control))
        return std::string(*name);
    throw InvalidControlException(detail::CONTROL_PREFIX + detail::NumericText(control));
}

}  // namespace SystemConfiguration
