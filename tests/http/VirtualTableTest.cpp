// The interface's slot order is fixed: code built elsewhere calls the
// operations by position in the table. Under the Itanium C++ ABI (mingw)
// a pointer to a virtual member holds 1 + its byte offset in the table,
// which lets the test read every operation's position.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "http/IHttpWebRequest.h"

namespace {
template <typename Member>
ptrdiff_t SlotOf(Member member) {
    static_assert(sizeof(member) == 2 * sizeof(ptrdiff_t), "Itanium member pointer layout");
    ptrdiff_t words[2];
    std::memcpy(words, &member, sizeof(words));
    EXPECT_EQ(1, words[0] & 1) << "not a virtual member";
    return (words[0] - 1) / static_cast<ptrdiff_t>(sizeof(void*));
}

TEST(InterfaceSlots, OperationsKeepTheirOrderAroundTheDestructor) {
    EXPECT_EQ(0, SlotOf(&IHttpWebRequest::SetContext));
    EXPECT_EQ(1, SlotOf(&IHttpWebRequest::Start));
    EXPECT_EQ(2, SlotOf(&IHttpWebRequest::StartToFile));
    EXPECT_EQ(3, SlotOf(&IHttpWebRequest::Wait));
    EXPECT_EQ(4, SlotOf(&IHttpWebRequest::GetLastModified));
    EXPECT_EQ(5, SlotOf(&IHttpWebRequest::GetContentLength));
    EXPECT_EQ(6, SlotOf(&IHttpWebRequest::GetReceivedSize));
    EXPECT_EQ(7, SlotOf(&IHttpWebRequest::GetResponseData));
    EXPECT_EQ(8, SlotOf(&IHttpWebRequest::GetUrl));
    EXPECT_EQ(9, SlotOf(&IHttpWebRequest::GetFilePath));
    EXPECT_EQ(10, SlotOf(&IHttpWebRequest::GetStatusCode));
    // The virtual destructor takes two entries here (complete and deleting
    // destructor), 11 and 12, so the form operations follow at 13 to 15.
    EXPECT_EQ(13, SlotOf(&IHttpWebRequest::AddFormField));
    EXPECT_EQ(14, SlotOf(&IHttpWebRequest::AddFormFile));
    EXPECT_EQ(15, SlotOf(&IHttpWebRequest::AddFormData));
}
}  // namespace
