#include <gtest/gtest.h>

#include <string>

#include "aax/library/AAX_Assert.h"
#include "aax/library/AAX_Exception.h"
#include "aax/library/AAX_Results.h"
#include "tests/aax/AaxTestSupport.h"

using AAX::Exception::ResultError;

TEST(AaxResults, NamesKnownCodesAndClassifiesTheRest) {
  EXPECT_STREQ(AAX_ResultName(0), "AAX_SUCCESS");
  EXPECT_STREQ(AAX_ResultName(-20001), "AAX_ERROR_INVALID_PARAMETER_ID");
  EXPECT_STREQ(AAX_ResultName(-20033), "AAX_ERROR_SIGNED_INT_OVERFLOW");
  EXPECT_STREQ(AAX_ResultName(-20046), "AAX_ERROR_ARGUMENT_BUFFER_OVERFLOW");
  for (int32_t code : {-21000, -20800, -20600})
    EXPECT_STREQ(AAX_ResultName(code), "plug-in defined error") << code;
  for (int32_t code : {-21001, -20599, -20047, -20051, 1, static_cast<int32_t>(0x80000004u)})
    EXPECT_STREQ(AAX_ResultName(code), "<unknown error code>") << code;
}

TEST(AaxResults, ExceptionTextsCarryFunctionAndLineOnlyWhenGiven) {
  EXPECT_STREQ(AAX::Exception::Any("boom").what(), "boom");
  EXPECT_STREQ(AAX::Exception::Any("boom", "f", "").what(), "boom func:f");
  EXPECT_STREQ(AAX::Exception::Any("boom", "", 12).what(), "boom line:12");
  EXPECT_STREQ(AAX::Exception::Any("boom", "f", 12).what(), "boom func:f line:12");
  const ResultError error(AAX_ERROR_NULL_OBJECT);
  EXPECT_STREQ(error.what(), "AAX_ERROR_NULL_OBJECT (-20004)");
  EXPECT_EQ(error.Code(), -20004);
  EXPECT_STREQ(ResultError(-20700).what(), "plug-in defined error (-20700)");
}

TEST(AaxCheckedResult, ThrowsOnUnacceptedCodesAndTracesFirst) {
  aaxhost::HostServices services;
  aaxtest::HostServicesScope scope(services);

  AAX_CheckedResult result;
  result = AAX_SUCCESS;
  try {
    result = AAX_ERROR_NULL_OBJECT;
    FAIL() << "no throw";
  } catch (const ResultError& error) {
    EXPECT_STREQ(error.what(), "AAX_ERROR_NULL_OBJECT (-20004)");
    EXPECT_EQ(error.Code(), AAX_ERROR_NULL_OBJECT);
  }
  EXPECT_EQ(static_cast<AAX_Result>(result), AAX_SUCCESS);
  EXPECT_EQ(result.LastError(), AAX_ERROR_NULL_OBJECT);
  const auto traces = services.Traces();
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].priority, 0x4000000);
  EXPECT_EQ(traces[0].message, "AAX_CheckedResult - throwing AAX_ERROR_NULL_OBJECT (-20004)");

  result.AddAcceptedResult(AAX_ERROR_UNIMPLEMENTED);
  EXPECT_NO_THROW(result = AAX_ERROR_UNIMPLEMENTED);
  EXPECT_EQ(static_cast<AAX_Result>(result), AAX_ERROR_UNIMPLEMENTED);
  result.ResetAcceptedResults();
  EXPECT_THROW(result = AAX_ERROR_UNIMPLEMENTED, ResultError);
}

TEST(AaxHostServices, TraceCutsAt512BytesAndReportsFormatFailures) {
  aaxhost::HostServices services;
  // Without module-wide host services nothing happens and nothing fails.
  EXPECT_EQ(AAX_TRACE(0x10000000, "%ls", L"\u00e9"), AAX_SUCCESS);
  EXPECT_EQ(AAX_CHostServices::HandleAssertionFailure("f.cpp", 1, "x"), AAX_SUCCESS);

  aaxtest::HostServicesScope scope(services);
  const std::string longText(600, 'x');
  EXPECT_EQ(AAX_TRACE(0x10000000, "%s", longText.c_str()), AAX_SUCCESS);
  // A wide character the C locale cannot encode makes the formatting itself fail.
  EXPECT_EQ(AAX_TRACE(0x10000000, "%ls", L"\u00e9"), -20051);
  const auto traces = services.Traces();
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].message, std::string(511, 'x'));
  EXPECT_EQ(traces[0].priority, 0x10000000);
}

TEST(AaxHostServices, AssertionsReportFileLineTextAndFlagsOne) {
  aaxhost::HostServices services;
  aaxhost::HostServices older;  // outlives the scope, which releases it
  older.SetVersionLimit(1);
  aaxtest::HostServicesScope scope(services);
  const int value = 3;
  AAX_ASSERT(value == 3);
  const int line = __LINE__ + 1;
  AAX_ASSERT(value < 0);
  const auto assertions = services.Assertions();
  ASSERT_EQ(assertions.size(), 1u);
  EXPECT_EQ(assertions[0].note, "value < 0");
  EXPECT_EQ(assertions[0].line, line);
  EXPECT_NE(assertions[0].file.find("ResultsTest.cpp"), std::string::npos);
  EXPECT_EQ(assertions[0].flags, 1);

  // A host that only knows the first version gets the report without flags.
  AAX_CHostServices::Set(&older);
  AAX_ASSERT(value < 0);
  ASSERT_EQ(older.Assertions().size(), 1u);
  EXPECT_EQ(older.Assertions()[0].flags, 0);
}

TEST(AaxHostServices, HostWithoutServicesIsRefusedAndTheOldWrapperStays) {
  aaxhost::HostServices services;
  aaxtest::HostServicesScope scope(services);
  aaxhost::HostServices none;
  none.SetVersionLimit(0);
  try {
    AAX_CHostServices::Set(&none);
    FAIL() << "no throw";
  } catch (const ResultError& error) {
    EXPECT_EQ(error.Code(), static_cast<int32_t>(0x80000005u));
  }
  EXPECT_EQ(none.References(), 0);
  AAX_TRACE(0x8000000, "still here");
  EXPECT_EQ(services.Traces().size(), 1u);
}

TEST(AaxHostServices, ModuleWideWrapperReleasesTheHostAndOffersItsRunLoop) {
  aaxhost::HostRunLoop loop;
  aaxhost::HostServices services(&loop);
  {
    aaxtest::HostServicesScope scope(services);
    EXPECT_GT(services.References(), 0);
    EXPECT_EQ(AAX_CHostServices::GetRunLoop(), static_cast<AAX_IHostRunLoopV1*>(&loop));
  }
  EXPECT_EQ(services.References(), 0);
  EXPECT_EQ(loop.References(), 0);
  EXPECT_EQ(AAX_CHostServices::GetRunLoop(), nullptr);
}
