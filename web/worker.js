"use strict";
// The page's worker: the checker runs here, off the page's thread, so that the page stays
// responsive and its Cancel button can end the check at once. Given the two picked files, it runs
// the module's check_picked and posts back progress messages, then the outcome and the report;
// the page keeps the worker afterwards and asks it for the transcript or the answer file, which
// it renders when first asked for ({ part: 0 or 2 }; null bytes when they can't be kept).
// The page starts a worker before it is needed: the module is compiled and started here at once,
// so that the check that comes pays none of it.
let checker = null;
const started = hash_checker_module({ print: () => {}, printErr: () => {} });
// A module that can't start fails the check that awaits it, not the worker.
started.catch(() => {});
const text = (n) => {
  const at = checker._result_text(n);
  return checker.HEAPU8.slice(at, at + checker._result_size(n));
};
onmessage = async (event) => {
  if (event.data.part !== undefined) {
    const n = event.data.part;
    let bytes = null;
    try {
      if (checker !== null && (checker._result_text(n) || checker._render_part(n))) bytes = text(n);
    } catch (e) {
      bytes = null;
    }
    postMessage({ part: n, bytes }, bytes ? [bytes.buffer] : []);
    return;
  }
  const { inputName, outputName, inputBytes, outputBytes } = event.data;
  try {
    checker = await started;
    checker.FS.mkdir("/picked");
    // The file system takes the bytes as they are, without a copy.
    checker.FS.writeFile("/picked/input", inputBytes, { canOwn: true });
    checker.FS.writeFile("/picked/output", outputBytes, { canOwn: true });
    const outcome = checker.ccall("check_picked", "string", ["string", "string"],
                                  [inputName, outputName]);
    const report = text(1);
    // The module's memory, which never shrinks: the check's peak, for the tests.
    postMessage({ outcome, report, offered: checker._parts_offered() === 1,
                  memory: checker.HEAPU8.length }, [report.buffer]);
  } catch (e) {
    // The core ends a check only when an allocation other than a case's can't be had; a case
    // whose memory can't be had is a case not built, shown in the report.
    checker = null;
    postMessage({ failed: "The check needs more memory than this browser tab can have" });
  }
};
