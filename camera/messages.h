#pragma once
// The texts the camera code shows the user, each in a message box with an OK button.
// They are the product's wording, blanks and line breaks included.

namespace vx {

inline constexpr char kTextNoUsbCamera[] = "Can't find DSC connected to USB!";
inline constexpr char kTextNoSerialCamera[] = "Can't find DSC on the COM1 and COM2!";
inline constexpr char kTextNoCamera[] =
    "Can not find digital camera!\nTIP:\n(1)Please restart your computer.\n"
    "(2)Check if digital camera is powered on already.\n"
    "(3)Check if the USB cable is connected properly.\n"
    "(4)Turn off camera. Reset and plug it again.";
inline constexpr char kTextCameraSilent[] = "Can't find camera!";
inline constexpr char kTextNoCard[] = "Can't find compact flash card!";
inline constexpr char kTextCardFormat[] = "Compact flash card can not be formatted!";
inline constexpr char kTextCardAccess[] = "Access compact flash card failed!";
inline constexpr char kTextUnknownProblem[] = "Unknown Problem!";
inline constexpr char kTextNoPictures[] =
    "1.Please restart your computer.\n2.Not find image from your digital camera.\n"
    "3.Makesure your CF card have picture.\n4.Reset and plug it again.";
inline constexpr char kTextNoMemory[] =
    "Virtual Memory is not enough.  \nHave any problem.  \nPlease contact agency.  ";
inline constexpr char kTextDownloadError[] = "Download Error!";
inline constexpr char kTextJpegFileError[] = "JPEG File format error!";

}  // namespace vx
