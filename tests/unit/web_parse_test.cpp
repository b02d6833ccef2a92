#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <tuple>

#include "web/computer_information.h"
#include "web/feedback_post.h"
#include "web/multipart_form.h"
#include "web/version_finder.h"
#include "web/web_host.h"
#include "web/web_platform.h"
#include "web_support/memory_settings.h"

namespace {

struct VersionCase {
  const char* answer;
  uint32_t version;
  const char* url;
  bool download;
};

TEST(VersionFile, ReadsBothFormsAndScalesReleaseNumbers) {
  const VersionCase cases[] = {
      {"1.51 https://software.tessaly.example/VornTGX-151.exe", 151,
       "https://software.tessaly.example/VornTGX-151.exe", true},
      {"151\nhttps://www.tessaly.example/tgx/news.html", 151, "https://www.tessaly.example/tgx/news.html", false},
      {"151\r\nhttp://h.example/p.html\r\n\t ", 151, "http://h.example/p.html", false},
      {"2 http://h.example/x", 200, "http://h.example/x", false},
      {"9 http://h.example/x", 900, "http://h.example/x", false},
      {"12 http://h.example/x", 12, "http://h.example/x", false},
      {"1.5 http://h.example/x", 150, "http://h.example/x", false},
      {"1.505 http://h.example/x", 151, "http://h.example/x", false},  // halves go up
      {"1.504 http://h.example/x", 150, "http://h.example/x", false},
      {"0.5 http://h.example/x", 50, "http://h.example/x", false},
      {"150.5 http://h.example/x", 151, "http://h.example/x", false},
      {"12.5 http://h.example/x", 1250, "http://h.example/x", false},
      {"  00151 http://h.example/x", 151, "http://h.example/x", false},
  };
  for (const VersionCase& c : cases) {
    const VersionFile file = ParseVersionFile(c.answer);
    EXPECT_EQ(file.result, 0) << c.answer;
    EXPECT_EQ(file.version, c.version) << c.answer;
    EXPECT_EQ(file.url, c.url) << c.answer;
    EXPECT_EQ(file.download, c.download) << c.answer;
  }
}

TEST(VersionFile, RefusesWhatIsNotAVersionFile) {
  const std::string garbage("\x00\xff\x01 http\x00\xfe\x80", 10);
  const std::string answers[] = {
      "",
      "no link here",
      "1.51 ftp://h.example/x",
      "http://h.example/x",           // no version before the link
      "abc http://h.example/x",
      "-5 http://h.example/x",         // a negative version
      "1e2 http://h.example/x",
      "99999999999 http://h.example/x",  // larger than any version
      "1.51 http-run:calc",           // only web pages go to the browser
      "1.51 https://",
      "1.51 http://h.example/a b",     // not one link
      "1.51 http://h.example/\"><b>",  // characters no link carries
      "1.51 http://h.example:99999/x",
      garbage,
  };
  for (const std::string& answer : answers) {
    EXPECT_EQ(ParseVersionFile(answer).result, kVersionParseError) << answer;
  }
}

TEST(VersionFile, LinkIsCappedAndTrimmed) {
  const std::string longLink = "1.51 http://h.example/" + std::string(2000, 'a') + "  \n";
  const VersionFile file = ParseVersionFile(longLink);
  EXPECT_EQ(file.result, 0);
  EXPECT_EQ(file.url.size(), kMaxVersionUrlLength);
  EXPECT_EQ(VersionText(150), "1.50");
  EXPECT_EQ(VersionText(151), "1.51");
  EXPECT_EQ(VersionText(1250), "12.50");
  EXPECT_EQ(VersionText(5), "0.05");
}

TEST(WebHost, AddressesAreHttpOrHttpsOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"software.tessaly.example", "https://software.tessaly.example"},
      {"127.0.0.1:8080", "https://127.0.0.1:8080"},
      {"http://127.0.0.1:8080/", "http://127.0.0.1:8080"},
      {"  HTTP://Localhost:9/base/ ", "http://localhost:9/base"},
      {"https://user@h.example", "https://h.example"},
      {"ftp://h.example", ""},
      {"file:///etc/passwd", ""},
      {"http://", ""},
      {"http://h.example/?q=1", ""},
      {"http://h.example/#top", ""},
      {"[::1]:8080", "https://[::1]:8080"},
      {"http://h.example:65536", ""},
      {"http://h ex.example", ""},
      {"http://h.example/a%2", ""},
      {"", ""},
  };
  for (const auto& [written, expected] : cases) EXPECT_EQ(WebHostUrl(written), expected) << written;
}

// putenv keeps the text itself, so each is a constant; an empty value counts as unset.
char kNoHostVariable[] = "VORNBSL_WEB_HOST=";
char kHostVariable[] = "VORNBSL_WEB_HOST=http://from.environment";

TEST(WebHost, OptionThenEnvironmentThenSettingThenDefault) {
  putenv(kNoHostVariable);
  MemorySettings settings;
  EXPECT_EQ(ConfiguredWebHost("", nullptr), kDefaultWebHost);
  EXPECT_EQ(ConfiguredWebHost("", &settings), kDefaultWebHost);
  settings.write(kSettingsApplication, kWebHostSetting, " http://from.settings ");
  EXPECT_EQ(ConfiguredWebHost("", &settings), "http://from.settings");
  putenv(kHostVariable);
  EXPECT_EQ(ConfiguredWebHost("  ", &settings), "http://from.environment");
  EXPECT_EQ(ConfiguredWebHost("http://from.option", &settings), "http://from.option");
  putenv(kNoHostVariable);
}

TEST(ComputerInformation, WindowsVersionsAreNamedByTheTable) {
  const std::tuple<int, int, int, int, const char*, const char*> cases[] = {
      {kPlatformWindows9x, 4, 0, 950, "", "Windows 95  (Version 4.0 build 950)"},
      {kPlatformWindows9x, 4, 10, 0x040A08AE, " A", "Windows 98  A (Version 4.10 build 2222)"},
      {kPlatformWindows9x, 4, 90, 3000, "", "Windows ME  (Version 4.90 build 3000)"},
      {kPlatformWindows9x, 4, 3, 1, "", " (Version 4.3 build 1)"},
      {kPlatformWindows9x, 5, 0, 1, "", "Unknown Win32  (Version 5.0 build 1)"},
      {kPlatformWindowsNt, 3, 51, 1057, "", "Windows NT 3.51  (Version 3.51 build 1057)"},
      {kPlatformWindowsNt, 5, 0, 2195, "", "Windows 2000  (Version 5.0 build 2195)"},
      {kPlatformWindowsNt, 5, 1, 2600, "Service Pack 3", "Windows XP Service Pack 3 (Version 5.1 build 2600)"},
      {kPlatformWindowsNt, 5, 2, 3790, "", "Windows Server 2003  (Version 5.2 build 3790)"},
      {kPlatformWindowsNt, 5, 3, 1, "", " (Version 5.3 build 1)"},
      {kPlatformWindowsNt, 6, 1, 7601, "", "Windows Vista  (Version 6.1 build 7601)"},
      {kPlatformWindowsNt, 10, 0, 19045, "", "Unknown WinNT  (Version 10.0 build 19045)"},
      {3, 1, 0, 5, "", "Unknown Windows Platform  (Version 1.0 build 5)"},
  };
  for (const auto& [platform, major, minor, build, servicePack, expected] : cases) {
    EXPECT_EQ(WindowsComputerInformation(platform, major, minor, build, servicePack), expected);
  }
  const std::string here = ComputerInformation();
  EXPECT_TRUE(std::regex_search(here, std::regex("^[^ ].* \\(Version \\d+\\.\\d+ build .+\\)$"))) << here;
}

struct EntryCase {
  FeedbackEntries entries;
  FeedbackField field;
  const char* text;
  const char* caption;
};

FeedbackEntries Entries(const char* name, const char* email, const char* telephone, int respondVia,
                        const char* emailTo) {
  FeedbackEntries entries;
  entries.name = name;
  entries.email = email;
  entries.telephone = telephone;
  entries.respondVia = respondVia;
  entries.emailTo = emailTo;
  return entries;
}

TEST(FeedbackEntries, FourChecksInOrder) {
  const char* addressIncomplete =
      "The email address you entered for your Tessaly\nRepresentative isn't complete.\n\n"
      "Please enter a complete email address including\nthe '@' symbol and domain name.";
  const char* addressWrong =
      "The email address you entered doesn't seem to be correct.\n\n"
      "Please enter a complete email address including\nthe '@' symbol and domain name.";
  const std::string addressSpaced =
      std::string(addressWrong) + "\n\nPlease remove any space characters in the email address.";
  const char* noContact = "Please enter your phone number or email address so Tessaly can respond to your feedback.";
  const EntryCase cases[] = {
      {Entries("", "bad", "", 1, "bad"), FeedbackField::Name, "Please enter your name in the name field",
       "Missing Information"},
      {Entries(" ", "", "", 1, "bad"), FeedbackField::Telephone, noContact, "Missing Information"},
      {Entries("Ann", "", "", -1, ""), FeedbackField::Telephone, noContact, "Missing Information"},
      {Entries("Ann", "", "", kRespondViaNone, ""), FeedbackField::None, "", ""},
      {Entries("Ann", "bad", "", 1, "rep.example"), FeedbackField::EmailTo, addressIncomplete, "Bad Email Address"},
      {Entries("Ann", "ann.example", "", 1, "rep@x"), FeedbackField::Email, addressWrong, "Bad Email Address"},
      {Entries("Ann", "ann @x.example", "", 1, ""), FeedbackField::Email, addressSpaced.c_str(),
       "Bad Email Address"},
      {Entries("Ann", "", "555 0100", 2, ""), FeedbackField::None, "", ""},
      {Entries("Ann", "ann@x.example", "", 1, "rep@x.example"), FeedbackField::None, "", ""},
  };
  for (const EntryCase& c : cases) {
    const EntryProblem problem = CheckFeedbackEntries(c.entries);
    EXPECT_EQ(problem.field, c.field) << c.text;
    EXPECT_EQ(problem.text, c.text);
    EXPECT_EQ(problem.caption, c.caption);
  }
}

TEST(FeedbackEntries, KindsAndPrompts) {
  const char* kinds[] = {"General Feedback", "Feature Suggestion", "Bug Report", "Other Feedback", "General Feedback"};
  const char* prompts[] = {"Please describe the feedback below", "Please describe the feature suggestion below",
                           "Please describe the bug or issue below", "Please describe the other feedback below",
                           "Please describe the feedback below"};
  for (int type = 0; type < 5; ++type) {
    EXPECT_EQ(FeedbackKind(type), kinds[type]);
    EXPECT_EQ(FeedbackPrompt(type), prompts[type]);
  }
}

TEST(FeedbackEntries, FormOpensWithTheRememberedDetailsAndSavesThem) {
  MemorySettings settings;
  FeedbackEntries entered;
  entered.name = "Ann Smith";
  entered.company = "Hydro Lab";
  entered.telephone = "555 0100";
  entered.email = "ann@hydro.example";
  entered.emailTo = "rep@vanto.example";
  entered.description = "not remembered";
  SaveFeedbackSettings(settings, entered);
  FeedbackInfo info;
  info.registeredCompany = "Registered Co";
  const FeedbackEntries shown = ShownFeedbackEntries(settings, info);
  EXPECT_EQ(shown.name, "Ann Smith");
  EXPECT_EQ(shown.company, "Registered Co");
  EXPECT_EQ(shown.telephone, "555 0100");
  EXPECT_EQ(shown.email, "ann@hydro.example");
  EXPECT_EQ(shown.emailTo, "rep@vanto.example");
  EXPECT_EQ(shown.description, "");
  EXPECT_EQ(shown.respondVia, kRespondViaEmail);
  EXPECT_EQ(ShownFeedbackEntries(MemorySettings(), info).name, "");
}

// The description is cut at its character limit, never inside a character.
TEST(FeedbackEntries, LongDescriptionIsCutOnACharacter) {
  FeedbackEntries entries;
  entries.description = std::string(kMaxDescriptionLength - 1, 'x') + "\xc3\xa9" + "yz";
  const auto fields = FeedbackFields(FeedbackInfo(), entries);
  EXPECT_EQ(fields.back().first, "Feedback");
  EXPECT_EQ(fields.back().second, std::string(kMaxDescriptionLength - 1, 'x') + "\xc3\xa9");
}

TEST(FeedbackFiles, ContentTypeByExtensionInAnyCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"readings.csv", "text/csv"},
      {"ERRORS.TXT", "text/plain"},
      {"backup.tar.gz", "application/gzip"},
      {"capture", "application/octet-stream"},
      {"capture.bin", "application/octet-stream"},
  };
  for (const auto& [name, type] : cases) EXPECT_EQ(MimeTypeOf(name), type) << name;
}

}  // namespace
