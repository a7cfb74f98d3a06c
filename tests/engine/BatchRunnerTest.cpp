#include "BatchRunner.h"
#include "OrvelTPU.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace quorix {
namespace {

// What its owner counts on: one Freed per picture handed in, also for those a
// stop dropped, and reports in the order handed in, never after the end.
TEST(BatchRunner, EveryPictureIsFreedOnceAndReportedInOrder) {
    test::TTempDir dir;
    for (int i = 0; i < 12; ++i) test::WriteJpeg(dir.File("p" + std::to_string(i) + ".jpg"), test::MakeNoise(40 + 30 * (i % 4), 30, i));
    for (const int stopAfter : {-1, 3}) {
        std::mutex mutex;
        std::vector<size_t> reported;
        std::atomic<int> freed{0};
        std::vector<std::string> sources;
        for (int i = 0; i < 12; ++i) sources.push_back(dir.File("p" + std::to_string(i) + ".jpg"));
        TBatchEvents events;
        events.Report = [&](const TBatchOutcome& outcome) {
            std::lock_guard<std::mutex> lock(mutex);
            reported.push_back(outcome.Index);
            EXPECT_EQ(outcome.Results.at(0).Outcome, TResizeOutcome::Written);
            return true;
        };
        events.Freed = [&] { ++freed; };
        {
            TBatchRunner runner(3, sources, events);
            for (size_t i = 0; i < sources.size(); ++i) {
                TBatchPicture picture;
                picture.Source = sources[i];
                picture.OutPath = dir.File("Output") + PathDelim;
                runner.Submit(picture);
                if (static_cast<int>(i) == stopAfter) runner.Stop();
            }
            runner.Wait();
            EXPECT_EQ(runner.Ended(), stopAfter >= 0);
        }
        EXPECT_EQ(freed, 12) << stopAfter;
        for (size_t i = 0; i < reported.size(); ++i) EXPECT_EQ(reported[i], i);
        if (stopAfter < 0) EXPECT_EQ(reported.size(), 12u);
        else EXPECT_LE(reported.size(), static_cast<size_t>(stopAfter) + 1);
    }
}

// A long list handed in as the workers get through it: records of reported
// pictures go, and pictures writing the output of a long-reported one still
// come after it (the last of them wins), in order, on any number of workers.
TEST(BatchRunner, ALongListHandedInAsItGoesKeepsItsOrder) {
    test::TTempDir dir;
    std::vector<std::string> sources;
    for (int i = 0; i < 60; ++i) {
        sources.push_back(dir.File("p" + std::to_string(i) + ".jpg"));
        test::WriteJpeg(sources.back(), test::MakeNoise(20 + 2 * i, 10, i));
    }
    for (const int workers : {1, 3}) {
        std::vector<size_t> reported;
        TBatchEvents events;
        events.Report = [&](const TBatchOutcome& outcome) {
            reported.push_back(outcome.Index);
            return outcome.Results.at(0).Outcome == TResizeOutcome::Written;
        };
        TBatchRunner runner(workers, sources, events);
        for (size_t i = 0; i < sources.size(); ++i) {
            runner.WaitForRoom(2);
            TBatchPicture picture;
            picture.Source = sources[i];
            picture.OutPath = dir.File("Output") + PathDelim;
            picture.Outputs[0].Options.NameTemplate = i % 20 == 0 ? "same" : "{name}";  // pictures 0, 20 and 40 want one name
            runner.Submit(picture);
        }
        runner.Wait();
        ASSERT_EQ(reported.size(), sources.size()) << workers;
        for (size_t i = 0; i < reported.size(); ++i) EXPECT_EQ(reported[i], i);
        // Each has its own output, numbered in list order.
        EXPECT_EQ(test::LoadAs24(dir.File("Output/same.jpg")).Width(), 20 / 2) << workers;
        EXPECT_EQ(test::LoadAs24(dir.File("Output/same (2).jpg")).Width(), (20 + 2 * 20) / 2) << workers;
        EXPECT_EQ(test::LoadAs24(dir.File("Output/same (3).jpg")).Width(), (20 + 2 * 40) / 2) << workers;
    }
}

// Outputs of a recipe that want one name, of one picture or of several,
// each keep their own file, numbered in the order of pictures and outputs on
// any number of workers; the names planned are the names written.
TEST(BatchRunner, OutputsWantingOneNameAreNumberedInOrder) {
    test::TTempDir dir;
    std::vector<std::string> sources;
    for (int i = 0; i < 4; ++i) {
        sources.push_back(dir.File("p" + std::to_string(i) + ".jpg"));
        test::WriteJpeg(sources.back(), test::MakeNoise(40 + 4 * i, 20, i));
    }
    for (const int workers : {1, 2}) {
        const std::string out = dir.File("out" + std::to_string(workers)) + PathDelim;
        std::vector<std::string> written;
        TBatchEvents events;
        events.Report = [&](const TBatchOutcome& outcome) {
            for (const TResizeResult& result : outcome.Results) written.push_back(ExtractFileName(result.OutputName));
            return true;
        };
        TBatchRunner runner(workers, sources, events);
        for (const std::string& source : sources) {
            TBatchPicture picture;
            picture.Source = source;
            picture.OutPath = out;
            picture.Outputs.assign(2, TPictureOutput());
            for (TPictureOutput& output : picture.Outputs) output.Options.NameTemplate = "all";
            picture.Outputs[1].Options.DecFactor = 4;
            runner.Submit(picture);
        }
        runner.Wait();
        ASSERT_EQ(written.size(), 8u) << workers;
        for (size_t j = 0; j < written.size(); ++j) {
            EXPECT_EQ(written[j], j == 0 ? "all.jpg" : "all (" + std::to_string(j + 1) + ").jpg") << workers;
            const int width = 40 + 4 * static_cast<int>(j / 2);
            EXPECT_EQ(test::LoadAs24(out + written[j]).Width(), width / (j % 2 ? 4 : 2)) << workers << " " << j;
        }
    }
}

// An error that ends the batch is the last thing reported; a refused report
// ends it the same way.
TEST(BatchRunner, AnEndingErrorOrARefusedReportIsTheLast) {
    test::TTempDir dir;
    for (int i = 0; i < 6; ++i) test::WriteJpeg(dir.File("p" + std::to_string(i) + ".jpg"), test::MakeGradient(20, 20));
    for (const bool refuse : {false, true}) {
        std::vector<TBatchOutcome> reported;
        TBatchEvents events;
        events.Report = [&](const TBatchOutcome& outcome) {
            reported.push_back(outcome);
            return !(refuse && outcome.Index == 1);
        };
        TBatchRunner runner(2, {}, events);
        for (int i = 0; i < 6; ++i) {
            TBatchPicture picture;
            picture.Source = dir.File("p" + std::to_string(i) + ".jpg");
            picture.OutPath = dir.File("") ;
            picture.Outputs[0].Options.Mode = TResizeMode::SameSize;
            picture.Outputs[0].Options.Width = picture.Outputs[0].Options.Height = i == 1 && !refuse ? 20000 : 10;  // "Image is too large."
            runner.Submit(picture);
        }
        runner.Wait();
        ASSERT_EQ(reported.size(), 2u) << refuse;
        EXPECT_EQ(reported[1].Error, refuse ? "" : "Image is too large.");
        EXPECT_TRUE(runner.Ended());
    }
}

}  // namespace
}  // namespace quorix
