// The predicate names of the extractor and the predicate groups they form,
// shared by the extractor (engine/feature_extractor.cc) and the group
// look-ups (engine/feature_groups.cc). Internal to engine/.
#ifndef VERRIN_ENGINE_FEATURE_NAMES_H_
#define VERRIN_ENGINE_FEATURE_NAMES_H_

#include "engine/feature_groups.h"

namespace verrin::predicate_names {

// The predicate names of the extractor.
enum FeatureName : int {
  kChar,
  kCharClass,
  kNext,
  kNextClass,
  kThisNext,
  kSecondNext,
  kNextPair,
  kTheory,
  kPrevious,
  kPreviousThis,
  kPreviousPair,
  kSecondPrevious,
  kAround,
  kPreviousLabel,
  kSecondPreviousLabel,
  // prev-word
  kPreviousWord,
  // person-marks
  kPersonChar,
  kPersonPrefix,
  kPersonSuffix,
  kSurname,
  kPreviousPersonChar,
  kPreviousPersonPrefix,
  kPreviousSurname,
  kNextPersonChar,
  kNextPersonSuffix,
  kNextSurname,
  // class-marks
  kTitle,
  kLocationSuffix,
  kOrgSuffix,
  kLocationName,
  // continuation-marks
  kTitleGoesOn,
  kLocationSuffixGoesOn,
  kOrgSuffixGoesOn,
  kLocationNameGoesOn,
  // next-match: compare, text and bare name for the classes 1, 2, 4, 64
  kNextTitleCompare,
  kNextTitleText,
  kNextIsTitle,
  kNextLocationSuffixCompare,
  kNextLocationSuffixText,
  kNextIsLocationSuffix,
  kNextOrgSuffixCompare,
  kNextOrgSuffixText,
  kNextIsOrgSuffix,
  kNextLocationNameCompare,
  kNextLocationNameText,
  kNextIsLocationName,
  // word-position
  kWordSingle,
  kWordBegin,
  kWordEnd,
  // word-shape: begin, end, inner for the lengths 2 (no inner), 3, 4, 5+
  kShape2Begin,
  kShape2End,
  kShape3Begin,
  kShape3End,
  kShape3Inner,
  kShape4Begin,
  kShape4End,
  kShape4Inner,
  kShape5Begin,
  kShape5End,
  kShape5Inner,
  // org-items: the mark at p, inside, and compare, text and bare name of the
  // match at p+1
  kOrgItem,
  kOrgItemGoesOn,
  kNextOrgItemCompare,
  kNextOrgItemText,
  kNextIsOrgItem,
  kFeatureNameCount,
};

inline constexpr const char16_t* kNameTexts[kFeatureNameCount] = {
    u"char=",     u"ct=",         u"ntc1=",       u"nt1ct=",      u"ntc0c1=",    u"ntc2=",
    u"ntc1c2=",   u"wd_therory",  u"pvc1=",       u"pvc0c1=",     u"pvc1c2=",    u"pvc2=",
    u"pv1nt1=",   u"pv1lb=",      u"pv2lb=",      u"pv1wd=",      u"fnname",     u"pnpfx",
    u"pnsfx",     u"pnsur",       u"pvfnname",    u"pvpnpfx",     u"pvpnsur",    u"ntfnname",
    u"ntpnsfx",   u"ntpnsur",     u"pntitle",     u"lnsfx",       u"onsfx",      u"lnname",
    u"pnsfxcon",  u"lnsfxcon",    u"onsfxcon",    u"lnnamecon",   u"ntpnsfx_c=", u"ntpnsfx_n=",
    u"ntispnsfx", u"ntlnsfx_c=",  u"ntlnsfx_n=",  u"ntislnsfx",   u"ntonsfx_c=", u"ntonsfx_n=",
    u"ntisonsfx", u"ntlnname_c=", u"ntlnname_n=", u"ntislnname",  u"wdsingle",   u"wdbegin",
    u"wdend",     u"2wdbegin",    u"2wdend",      u"3wdbegin",    u"3wdend",     u"3wdcond",
    u"4wdbegin",  u"4wdend",      u"4wdcond",     u"5wdbegin",    u"5wdend",     u"5wdcond",
    u"onname",    u"onnamecon",   u"ntonname_c=", u"ntonname_n=", u"ntisonname",
};

// Each group: its name in lists and its predicate names (first, last).
struct GroupInfo {
  FeatureGroup group;
  const char* list_name;
  int first, last;
};
inline constexpr GroupInfo kGroups[] = {
    {kGroupPreviousWord, "prev-word", kPreviousWord, kPreviousWord},
    {kGroupPersonMarks, "person-marks", kPersonChar, kNextSurname},
    {kGroupClassMarks, "class-marks", kTitle, kLocationName},
    {kGroupContinuationMarks, "continuation-marks", kTitleGoesOn, kLocationNameGoesOn},
    {kGroupNextMatch, "next-match", kNextTitleCompare, kNextIsLocationName},
    {kGroupWordShape, "word-shape", kShape2Begin, kShape5Inner},
    {kGroupWordPosition, "word-position", kWordSingle, kWordEnd},
    {kGroupOrgItems, "org-items", kOrgItem, kNextIsOrgItem},
};
}  // namespace verrin::predicate_names

#endif  // VERRIN_ENGINE_FEATURE_NAMES_H_
