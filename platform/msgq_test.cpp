#include "platform/msgq.h"

#include <gtest/gtest.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/eventloop.h"
#include "tests/support/testsupport.h"

namespace {

struct Msg {
    long mtype;
    char text[4096];
};

class MsgQueue : public ::testing::Test {
  protected:
    void SetUp() override {
        key_ = testsupport::unused_ipc_key();
        qid_ = msgget(key_, IPC_CREAT | IPC_EXCL | 0600);
        ASSERT_GE(qid_, 0);
    }
    void TearDown() override {
        if (qid_ >= 0) msgctl(qid_, IPC_RMID, nullptr);
        if (fd_ >= 0) close(fd_);
    }
    void send(long type, const char *text, size_t len) {
        Msg m;
        m.mtype = type;
        memcpy(m.text, text, len);
        ASSERT_EQ(0, msgsnd(qid_, &m, len, 0));
    }
    int key_ = -1, qid_ = -1, fd_ = -1;
};

TEST_F(MsgQueue, DescriptorDeliversEachMessageWholeAndInOrder) {
    fd_ = msgqToFd(qid_);
    ASSERT_GE(fd_, 0);
    EXPECT_EQ(0, waitfor(fd_, 0));  // nothing waits: not readable
    send(7, "first", 5);
    send(3, "second message", 14);
    Msg m;
    ASSERT_GT(waitfor(fd_, 5), 0);
    ASSERT_EQ(5, msgq_receive(fd_, &m, sizeof m.text));
    EXPECT_EQ(7, m.mtype);
    EXPECT_EQ(0, memcmp(m.text, "first", 5));
    ASSERT_EQ(14, msgq_receive(fd_, &m, sizeof m.text));
    EXPECT_EQ(3, m.mtype);
    EXPECT_EQ(0, memcmp(m.text, "second message", 14));
    EXPECT_EQ(0, waitfor(fd_, 0));
}

TEST_F(MsgQueue, LongMessageIsCutToTheReceiverAndTheNextOneStillArrives) {
    fd_ = msgqToFd(qid_);
    ASSERT_GE(fd_, 0);
    char big[2000];
    memset(big, 'b', sizeof big);
    send(1, big, sizeof big);
    send(2, "after", 5);
    Msg m;
    ASSERT_GT(waitfor(fd_, 5), 0);
    EXPECT_EQ(1036, msgq_receive(fd_, &m, 1036));
    ASSERT_GT(waitfor(fd_, 5), 0);
    ASSERT_EQ(5, msgq_receive(fd_, &m, 1036));
    EXPECT_EQ(2, m.mtype);
}

TEST_F(MsgQueue, RemovedQueueEndsTheBridgeWithEidrm) {
    fd_ = msgqToFd(qid_);
    ASSERT_GE(fd_, 0);
    ASSERT_EQ(0, msgctl(qid_, IPC_RMID, nullptr));
    qid_ = -1;
    ASSERT_GT(waitfor(fd_, 5), 0);
    Msg m;
    errno = 0;
    EXPECT_EQ(-1, msgq_receive(fd_, &m, sizeof m.text));
    EXPECT_EQ(EIDRM, errno);
}

TEST_F(MsgQueue, SendByKeyCountsFourTypeBytes) {
    Msg m;
    m.mtype = 9;
    memcpy(m.text, "abcdefgh", 8);
    EXPECT_EQ(12, msgsnd_with_keyid(key_, &m, 12));
    Msg got;
    ASSERT_EQ(8, msgrcv(qid_, &got, sizeof got.text, 0, IPC_NOWAIT));
    EXPECT_EQ(9, got.mtype);
    EXPECT_EQ(0, memcmp(got.text, "abcdefgh", 8));
}

TEST_F(MsgQueue, SendByKeyFailsWithoutBlockingWhenQueueMissingOrFull) {
    Msg m{};
    m.mtype = 1;
    EXPECT_EQ(-1, msgsnd_with_keyid(testsupport::unused_ipc_key(), &m, 24));
    msqid_ds ds;
    ASSERT_EQ(0, msgctl(qid_, IPC_STAT, &ds));
    ds.msg_qbytes = 64;  // lowering the limit needs no privilege
    ASSERT_EQ(0, msgctl(qid_, IPC_SET, &ds));
    int sent = 0;
    for (int i = 0; i < 10; ++i)
        if (msgsnd_with_keyid(key_, &m, 24) == 24) ++sent;
    EXPECT_EQ(3, sent);  // 3 x 20 text bytes fit in 64
}

TEST_F(MsgQueue, CreateFreshRemovesALeftQueueWithItsMessages) {
    send(1, "old", 3);
    int fresh = msgq_create_fresh(key_);
    ASSERT_GE(fresh, 0);
    EXPECT_NE(qid_, fresh);
    msqid_ds st{};
    EXPECT_EQ(-1, msgctl(qid_, IPC_STAT, &st));  // the old one is gone
    qid_ = fresh;                                // removed by TearDown
    ASSERT_EQ(0, msgctl(fresh, IPC_STAT, &st));
    EXPECT_EQ(0u, st.msg_qnum);
    EXPECT_EQ(0660u, st.msg_perm.mode & 0777);
    EXPECT_EQ(fresh, msgget(key_, 0));
}

TEST(MsgQueueCreate, CreatesWhenNoneIsLeft) {
    int key = testsupport::unused_ipc_key();
    int qid = msgq_create_fresh(key);
    ASSERT_GE(qid, 0);
    EXPECT_EQ(qid, msgget(key, 0));
    EXPECT_EQ(0, msgctl(qid, IPC_RMID, nullptr));
}

}  // namespace
