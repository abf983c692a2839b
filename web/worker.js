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
// The bytes of a picked file, read here at once: the page's thread never holds them.
const read = (role, file) => {
  try {
    return new Uint8Array(new FileReaderSync().readAsArrayBuffer(file));
  } catch (e) {
    throw new Error(role + " File " + file.name + " can't be read (" + e.message +
                    "); pick it again");
  }
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
  const { inputFile, outputFile } = event.data;
  let inputBytes, outputBytes;
  try {
    inputBytes = read("Input", inputFile);
    outputBytes = read("Output", outputFile);
  } catch (e) {
    postMessage({ failed: e.message });
    return;
  }
  try {
    checker = await started;
    checker.FS.mkdir("/picked");
    // The file system takes the bytes as they are, without a copy.
    checker.FS.writeFile("/picked/input", inputBytes, { canOwn: true });
    checker.FS.writeFile("/picked/output", outputBytes, { canOwn: true });
    const outcome = checker.ccall("check_picked", "string", ["string", "string"],
                                  [inputFile.name, outputFile.name]);
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
